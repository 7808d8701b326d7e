// The compact hive writer and the libhivex wrapper, checked against libhivex and its tools.
#include <gtest/gtest.h>
#include <hivex.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "platform/sim/hive_file.h"
#include "platform/sim/hive_format.h"
#include "platform/sim/hive_writer.h"
#include "tests/platform/fixtures.h"

namespace bc::platform::sim {
namespace {

using testing::TempFolder;

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
  return v;
}

// A tree exercising every layout case: default and empty values, inline data, big data over one
// segment, names outside Latin-1, and a key with more sub-keys than one index leaf holds.
std::unique_ptr<HiveKey> SampleTree() {
  auto root = std::make_unique<HiveKey>(u"ROOT");
  HiveKey& sw = root->Path(u"Software\\Vendor");
  sw.SetString(u"", u"default text");
  sw.SetString(u"Path", u"C:\\Program Files\\Vendor\\app.exe", REG_EXPAND_SZ);
  sw.SetDword(u"Count", 1000);
  sw.SetValue(u"Empty", REG_BINARY, {});
  sw.SetValue(u"Three", REG_BINARY, Bytes(3, 1));
  sw.SetValue(u"Big", REG_BINARY, Bytes(40000, 9));
  sw.SetMultiString(u"List", {u"a", u"bc"});
  sw.SetString(u"\u0416\u0443\u043a", u"cyrillic name");
  root->Path(u"Software\\\u65e5\u672c");
  HiveKey& many = root->Path(u"Classes\\CLSID");
  for (int i = 1499; i >= 0; --i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "{K%04d}", i);
    many.Subkey(Ascii(buf)).SetString(u"", u"x");
  }
  // Names whose order differs between upper- and lower-case folding ('_' sits between them).
  root->Path(u"Order\\a_b");
  root->Path(u"Order\\AZB");
  root->Path(u"Order\\aab");
  return root;
}

void ExpectSameTree(const HiveKey& a, const HiveKey& b, bool ordered) {
  ASSERT_EQ(a.Values().size(), b.Values().size()) << Utf16ToUtf8(a.Name());
  for (std::size_t i = 0; i < a.Values().size(); ++i) {
    const HiveValue& va = a.Values()[i];
    const HiveValue& vb = b.Values()[i];
    EXPECT_EQ(va.name, vb.name);
    EXPECT_EQ(va.type, vb.type);
    EXPECT_EQ(va.data, vb.data) << Utf16ToUtf8(va.name);
  }
  ASSERT_EQ(a.Subkeys().size(), b.Subkeys().size()) << Utf16ToUtf8(a.Name());
  for (const auto& ka : a.Subkeys()) {
    const HiveKey* kb = b.FindSubkey(ka->Name());
    ASSERT_NE(kb, nullptr) << Utf16ToUtf8(ka->Name());
    EXPECT_EQ(kb->Name(), ka->Name());
    ExpectSameTree(*ka, *kb, ordered);
  }
}

TEST(CompactHiveWriter, WritesAHiveThatLibhivexReadsBack) {
  TempFolder dir;
  auto tree = SampleTree();
  const auto bytes = WriteCompactHive(*tree, {5, 0x01D0000000000000ull, u"SOFTWARE", {}});
  EXPECT_EQ(hive::CheckHiveBytes(bytes), "");
  const auto file = dir.Path() / "hive";
  std::string error;
  ASSERT_TRUE(ReplaceFileAtomically(file, bytes, &error)) << error;

  auto hf = HiveFile::Open(file, &error);
  ASSERT_TRUE(hf) << error;
  auto back = hf->ReadTree(hf->Root(), u"ROOT");
  ASSERT_TRUE(back);
  ExpectSameTree(*tree, *back, false);

  // The index is ordered by upper-cased name, so '_' (0x5F) sorts after 'Z' (0x5A).
  std::vector<HiveFile::Child> kids;
  ASSERT_TRUE(hf->ReadChildren(hf->FindChild(hf->Root(), u"order"), &kids));
  ASSERT_EQ(kids.size(), 3u);
  EXPECT_EQ(kids[0].name, u"aab");
  EXPECT_EQ(kids[1].name, u"AZB");
  EXPECT_EQ(kids[2].name, u"a_b");
}

TEST(CompactHiveWriter, OutputIsAcceptedByHivexTools) {
  TempFolder dir;
  const auto file = dir.Path() / "hive";
  std::string error;
  ASSERT_TRUE(ReplaceFileAtomically(file, WriteCompactHive(*SampleTree(), {}), &error));
  const std::string xml = (dir.Path() / "out.xml").string();
  const std::string cmd = "hivexml '" + file.string() + "' > '" + xml + "' 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(xml);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("{K1499}"), std::string::npos);
  EXPECT_NE(text.find("Vendor"), std::string::npos);
}

TEST(CompactHiveWriter, LeavesNoFreeSpaceBetweenCells) {
  auto tree = SampleTree();
  const auto bytes = WriteCompactHive(*tree, {});
  // Only the tail of each hbin may be free; sum the free cells.
  std::size_t freeBytes = 0, bins = 0;
  for (std::size_t off = hive::kBaseBlockSize; off < bytes.size();) {
    const std::size_t size = hive::Get32(&bytes[off + 8]);
    ++bins;
    for (std::size_t c = off + hive::kHbinHeaderSize; c < off + size;) {
      const auto raw = static_cast<std::int32_t>(hive::Get32(&bytes[c]));
      const std::size_t len =
          raw < 0 ? static_cast<std::size_t>(-raw) : static_cast<std::size_t>(raw);
      if (raw > 0) {
        EXPECT_EQ(c + len, off + size) << "free cell in the middle of an hbin";
        freeBytes += len;
      }
      c += len;
    }
    off += size;
  }
  EXPECT_LT(freeBytes, bins * 1024);
}

TEST(HiveFileTest, RefusesDamagedAndTruncatedFiles) {
  TempFolder dir;
  const auto bytes = WriteCompactHive(*SampleTree(), {});
  struct Case {
    const char* name;
    std::vector<std::uint8_t> data;
  };
  std::vector<Case> cases;
  cases.push_back({"truncated", {bytes.begin(), bytes.begin() + bytes.size() / 2}});
  auto badSum = bytes;
  badSum[hive::kOffFileName] ^= 0x55;
  cases.push_back({"bad checksum", badSum});
  auto badBin = bytes;
  badBin[hive::kBaseBlockSize + 4096] = 'X';
  cases.push_back({"bad hbin", badBin});
  cases.push_back({"text", std::vector<std::uint8_t>(9000, 'a')});
  cases.push_back({"empty", {}});
  for (const auto& c : cases) {
    const auto file = dir.Path() / c.name;
    {
      std::ofstream out(file, std::ios::binary);
      out.write(reinterpret_cast<const char*>(c.data.data()),
                static_cast<std::streamsize>(c.data.size()));
    }
    std::string error;
    EXPECT_EQ(HiveFile::Open(file, &error), nullptr) << c.name;
    EXPECT_NE(error.find(file.string()), std::string::npos) << c.name << ": " << error;
  }
}

TEST(HiveFileTest, InPlaceEditsSurviveCommitAndKeepValueOrder) {
  TempFolder dir;
  const auto file = dir.Path() / "hive";
  std::string error;
  ASSERT_TRUE(ReplaceFileAtomically(file, WriteCompactHive(*SampleTree(), {}), &error));
  const auto sizeBefore = std::filesystem::file_size(file);
  {
    auto hf = HiveFile::Open(file, &error);
    ASSERT_TRUE(hf) << error;
    const hive_node_h sw = hf->FindChild(hf->Root(), u"SOFTWARE");
    const hive_node_h vendor = hf->FindChild(sw, u"vendor");
    ASSERT_NE(vendor, 0u);
    const std::uint8_t d[] = {5, 0, 0, 0};
    ASSERT_TRUE(hf->SetValue(vendor, u"count", REG_DWORD, d));  // replaces "Count" in place
    ASSERT_TRUE(hf->SetValue(vendor, u"New", REG_SZ, RegStringBytes(u"n")));
    bool found = false;
    ASSERT_TRUE(hf->DeleteValue(vendor, u"THREE", &found));
    EXPECT_TRUE(found);
    const hive_node_h added = hf->AddChild(vendor, u"Sub\u0416");
    ASSERT_NE(added, 0u);
    ASSERT_TRUE(hf->DeleteChild(hf->FindChild(hf->Root(), u"Classes")));
    ASSERT_TRUE(hf->Commit(&error)) << error;
    EXPECT_FALSE(hf->ChangedOnDisk());
  }
  auto hf = HiveFile::Open(file, &error);
  ASSERT_TRUE(hf) << error;
  std::vector<HiveFile::Value> values;
  ASSERT_TRUE(
      hf->ReadValues(hf->FindChild(hf->FindChild(hf->Root(), u"Software"), u"Vendor"), &values));
  std::vector<std::u16string> names;
  for (const auto& v : values) names.push_back(v.name);
  const std::vector<std::u16string> expected = {
      u"", u"Path", u"Count", u"Empty", u"Big", u"List", u"\u0416\u0443\u043a", u"New"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(hf->FindChild(hf->Root(), u"Classes"), 0u);
  // A deletion frees cells inside the file but does not shrink it.
  EXPECT_GE(std::filesystem::file_size(file), sizeBefore);
}

}  // namespace
}  // namespace bc::platform::sim
