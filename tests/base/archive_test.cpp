#include "base/archive.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace bc {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Archive, IntegersAreLittleEndian) {
  ArchiveWriter w;
  w.WriteU8(0xAB);
  w.WriteU16(0x1234);
  w.WriteU32(0x12345678);
  w.WriteU64(0x0102030405060708ull);
  w.WriteI32(-2);
  const Bytes want = {0xAB, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x08, 0x07, 0x06,
                      0x05, 0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(w.data(), want);
  ArchiveReader r(want);
  EXPECT_EQ(r.ReadU8(), 0xAB);
  EXPECT_EQ(r.ReadU16(), 0x1234);
  EXPECT_EQ(r.ReadU32(), 0x12345678u);
  EXPECT_EQ(r.ReadU64(), 0x0102030405060708ull);
  EXPECT_EQ(r.ReadI32(), -2);
  EXPECT_TRUE(r.AtEnd());
  EXPECT_THROW(r.ReadU8(), ArchiveError);
}

TEST(Archive, ShortReadsThrowWithoutMoving) {
  const Bytes three = {1, 2, 3};
  ArchiveReader r(three);
  EXPECT_THROW(r.ReadU32(), ArchiveError);
  EXPECT_THROW(r.ReadU64(), ArchiveError);
  EXPECT_THROW(r.ReadBytes(4), ArchiveError);
  EXPECT_EQ(r.position(), 0u);
  EXPECT_EQ(r.ReadU16(), 0x0201);
  EXPECT_THROW(r.ReadU16(), ArchiveError);
  EXPECT_EQ(r.remaining(), 1u);
}

TEST(Archive, CountSwitchesToSixBytesAt0xFFFF) {
  struct Row {
    std::uint32_t n;
    Bytes bytes;
  };
  const Row rows[] = {
      {0, {0x00, 0x00}},
      {0xFFFE, {0xFE, 0xFF}},
      {0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
      {0x12345, {0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00}},
  };
  for (const auto& row : rows) {
    ArchiveWriter w;
    w.WriteCount(row.n);
    EXPECT_EQ(w.data(), row.bytes) << row.n;
    ArchiveReader r(row.bytes);
    EXPECT_EQ(r.ReadCount(), row.n);
    EXPECT_TRUE(r.AtEnd());
    for (std::size_t cut = 0; cut < row.bytes.size(); ++cut) {
      ArchiveReader shortReader{std::span<const std::uint8_t>(row.bytes).first(cut)};
      EXPECT_THROW(shortReader.ReadCount(), ArchiveError) << row.n << " cut at " << cut;
    }
  }
}

TEST(Archive, CountMustFitTheRemainingInput) {
  // Four billion strings announced, ten bytes present: refused before anyone reserves memory.
  const Bytes hostile = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ArchiveReader r(hostile);
  EXPECT_THROW(r.ReadCount(kMinArchiveStringBytes), ArchiveError);
  const Bytes two = {0x02, 0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00};
  ArchiveReader ok(two);
  EXPECT_EQ(ok.ReadCount(kMinArchiveStringBytes), 2u);
  EXPECT_EQ(ok.ReadString(), u"");
  EXPECT_EQ(ok.ReadString(), u"");
  EXPECT_TRUE(ok.AtEnd());
}

TEST(Archive, StringLengthPrefixAtItsBoundaries) {
  struct Row {
    std::size_t length;
    Bytes prefix;  // after the 0xFF 0xFFFE marker
  };
  const Row rows[] = {
      {0, {0x00}},
      {3, {0x03}},
      {254, {0xFE}},
      {255, {0xFF, 0xFF, 0x00}},
      {0xFFFD, {0xFF, 0xFD, 0xFF}},
      {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
      {0x12345, {0xFF, 0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00}},
  };
  for (const auto& row : rows) {
    std::u16string s(row.length, u'x');
    if (!s.empty()) {
      s.front() = 0x20AC;  // a unit above 0xFF shows the byte order of the characters
      s.back() = u'\0';    // an embedded NUL is a character like any other
    }
    ArchiveWriter w;
    w.WriteString(s);
    const Bytes& out = w.data();
    Bytes head = {0xFF, 0xFE, 0xFF};
    head.insert(head.end(), row.prefix.begin(), row.prefix.end());
    ASSERT_EQ(out.size(), head.size() + 2 * row.length) << row.length;
    EXPECT_TRUE(std::equal(head.begin(), head.end(), out.begin())) << row.length;
    if (row.length > 0) {
      EXPECT_EQ(out[head.size()], 0xAC);
      EXPECT_EQ(out[head.size() + 1], 0x20);
    }
    ArchiveReader r(out);
    EXPECT_EQ(r.ReadString(), s) << row.length;
    EXPECT_TRUE(r.AtEnd());
    // Every cut inside the prefix and at the end of the characters is a truncation.
    std::vector<std::size_t> cuts;
    for (std::size_t cut = 0; cut < out.size() && cut <= head.size() + 1; ++cut)
      cuts.push_back(cut);
    if (out.size() - 1 > head.size() + 1) cuts.push_back(out.size() - 1);
    for (std::size_t cut : cuts) {
      ArchiveReader shortReader{std::span<const std::uint8_t>(out).first(cut)};
      EXPECT_THROW(shortReader.ReadString(), ArchiveError) << row.length << " cut at " << cut;
    }
  }
}

TEST(Archive, MalformedStringsAreRefused) {
  const Bytes cases[] = {
      {0x03, 'a', 'b', 'c'},                 // narrow form without the UTF-16 marker
      {0xFF, 0xFD, 0xFF, 0x00},              // wrong marker
      {0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF},  // 0xFFFE where a length belongs
      {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 64-bit length follows
      // 0x7FFFFFFF characters declared, none present: refused without allocating them.
      {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 0},
      {0xFF, 0xFE, 0xFF, 0x02, 'a', 0, 'b'},  // odd byte short
  };
  for (const auto& bytes : cases) {
    ArchiveReader r(bytes);
    EXPECT_THROW(r.ReadString(), ArchiveError) << bytes.size();
  }
}

TEST(Archive, ExclusionFileLayout) {
  // The leading u32, the count, then the strings - the whole file for one entry.
  ArchiveWriter w;
  w.WriteU32(1);
  w.WriteCount(1);
  w.WriteString(u"HK\\A");
  const Bytes want = {1, 0, 0, 0, 1, 0, 0xFF, 0xFE, 0xFF, 4, 'H', 0, 'K', 0, '\\', 0, 'A', 0};
  EXPECT_EQ(w.data(), want);
  ArchiveReader r(want);
  EXPECT_EQ(r.ReadU32(), 1u);
  const auto n = r.ReadCount(kMinArchiveStringBytes);
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(r.ReadString(), u"HK\\A");
  EXPECT_TRUE(r.AtEnd());
}

}  // namespace
}  // namespace bc
