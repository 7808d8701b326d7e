#include "engine/skip_lists.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/context.h"
#include "engine/skip_lists_data.h"
#include "tests/engine/engine_test_support.h"

namespace bc::engine {
namespace {

TEST(SkipListData, HoldsEveryListedEntryInOrder) {
  ASSERT_EQ(skipdata::kKeyClassIdEntries.size(), 534u);
  ASSERT_EQ(skipdata::kKeyOtherEntries.size(), 1134u);
  ASSERT_EQ(skipdata::kFileFixedEntries.size(), 409u);

  // Ends of each list: the last entry loses the full stop of the sentence it closes.
  EXPECT_EQ(skipdata::kKeyClassIdEntries.front(), u"{00022603-0000-0000-C000-000000000046}");
  EXPECT_EQ(skipdata::kKeyClassIdEntries.back(), u"{B8276A94-891D-453C-9FF3-715C042A2575}");
  EXPECT_EQ(skipdata::kKeyOtherEntries.front(), u"MIDFile");
  EXPECT_EQ(skipdata::kKeyOtherEntries.back(), u"\\DataMngr");
  EXPECT_EQ(skipdata::kFileFixedEntries.front(), u"ntldr");
  EXPECT_EQ(skipdata::kFileFixedEntries[9], u"boot.ini");
  EXPECT_EQ(skipdata::kFileFixedEntries[296], u":\\recycle");
  EXPECT_EQ(skipdata::kFileFixedEntries.back(), u"\\OEM Links");

  const auto clean = [](std::u16string_view e) {
    return !e.empty() && TrimView(e) == e && e.find(u';') == std::u16string_view::npos;
  };
  for (auto e : skipdata::kKeyClassIdEntries) EXPECT_TRUE(clean(e)) << Utf16ToUtf8(e);
  for (auto e : skipdata::kKeyOtherEntries) EXPECT_TRUE(clean(e)) << Utf16ToUtf8(e);
  for (auto e : skipdata::kFileFixedEntries) EXPECT_TRUE(clean(e)) << Utf16ToUtf8(e);
}

TEST(SkipListData, KeyListAddsTheFamilysOwnIdentifiers) {
  const auto entries = KeySkipEntries();
  ASSERT_EQ(entries.size(), 534u + 1134u + 7u);
  int full = 0, partial = 0;
  for (std::size_t i = 534 + 1134; i < entries.size(); ++i) {
    if (entries[i].size() == 38) ++full;
    if (entries[i].size() == 12) ++partial;
    EXPECT_EQ(entries[i].front(), u'{');
  }
  EXPECT_EQ(full, 6);
  EXPECT_EQ(partial, 1);
  EXPECT_EQ(entries[534], u"MIDFile");
}

TEST(SkipListData, FileListAppendsSpecialFoldersAfterTheFixedEntries) {
  const auto entries = FileSkipEntries({u"C:\\Users\\ann\\NetHood"});
  ASSERT_EQ(entries.size(), 410u);
  EXPECT_EQ(entries.back(), u"C:\\Users\\ann\\NetHood");
}

TEST(FragmentMatcher, StoresFragmentsLowerCasedAndTrimmedWithoutEmptyOnes) {
  FragmentMatcher m({u"  \\Lavasoft ", u"", u"   ", u"MIDFile", u"midfile"});
  EXPECT_EQ(m.Fragments(), (std::vector<std::u16string>{u"\\lavasoft", u"midfile", u"midfile"}));
  EXPECT_FALSE(m.ContainsAny(u""));
  EXPECT_FALSE(m.ContainsAny(u"anything at all"));  // a blank entry must not match everything
  EXPECT_TRUE(m.ContainsAny(u"HKLM\\SOFTWARE\\LAVASOFT\\x"));
  EXPECT_TRUE(m.ContainsAny(u"x.MidFile"));
}

// Overlapping fragments exercise the fail links: a failed long match must still find the short
// fragment that ends inside it.
TEST(FragmentMatcher, FindsFragmentsInsideFailedLongerMatches) {
  FragmentMatcher m({u"he", u"she", u"hers", u"abcd", u"bce"});
  struct Case {
    std::u16string_view text;
    bool hit;
  };
  for (const Case& c :
       {Case{u"ushers", true}, Case{u"xhx", false}, Case{u"abce", true}, Case{u"abcx", false},
        Case{u"SHE", true}, Case{u"s-h-e", false}, Case{u"aabcd", true}, Case{u"h", false}}) {
    EXPECT_EQ(m.ContainsAny(c.text), c.hit) << Utf16ToUtf8(c.text);
    EXPECT_EQ(m.ContainsAnyByScan(c.text), c.hit) << Utf16ToUtf8(c.text);
  }
}

// Case folding is per code unit, as the lower-cased copy does it: characters outside ASCII
// that fold to ASCII letters (KELVIN SIGN to "k") match, others do not match their look-alikes.
TEST(FragmentMatcher, FoldsCaseLikeTheLowerCasedCopy) {
  FragmentMatcher m({u"kernel", u"stra\u00dfe"});
  for (std::u16string_view text : {u"\u212Aernel", u"KERNEL", u"STRA\u00dfE", u"strasse",
                                   u"\u00e9kernel\u00e9", u"kern\u00e9l"}) {
    EXPECT_EQ(m.ContainsAny(text), m.ContainsAnyByScan(text)) << Utf16ToUtf8(text);
  }
  EXPECT_TRUE(m.ContainsAny(u"\u212Aernel"));
  EXPECT_FALSE(m.ContainsAny(u"strasse"));
}

// The automaton and the plain loop must agree on the real lists: every entry embedded in noise
// in mixed case, and random texts made of pieces of entries.
TEST(FragmentMatcher, AgreesWithThePlainLoopOnTheBuiltInLists) {
  std::mt19937 rng(20260611);
  for (const auto& entries : {KeySkipEntries(), FileSkipEntries({})}) {
    FragmentMatcher m(entries);
    const auto& frags = m.Fragments();
    const auto randomCase = [&](std::u16string s) {
      for (auto& c : s) {
        if (rng() % 2) c = ToUpper(c);
      }
      return s;
    };
    for (const auto& f : frags) {
      const std::u16string text = u"HKEY_X\\q" + randomCase(f) + u"\\tail";
      ASSERT_TRUE(m.ContainsAny(text)) << Utf16ToUtf8(text);
    }
    int hits = 0, misses = 0;
    for (int i = 0; i < 4000; ++i) {
      std::u16string text;
      const int pieces = 1 + static_cast<int>(rng() % 4);
      for (int p = 0; p < pieces; ++p) {
        const auto& f = frags[rng() % frags.size()];
        // A piece cut out of an entry: often a near miss of it.
        const std::size_t a = rng() % f.size();
        const std::size_t b = a + rng() % (f.size() - a + 1);
        text += randomCase(f.substr(a, b - a));
        if (rng() % 3 == 0) text += u'\\';
      }
      const bool expected = m.ContainsAnyByScan(text);
      ASSERT_EQ(m.ContainsAny(text), expected) << Utf16ToUtf8(text);
      (expected ? hits : misses)++;
    }
    // Both answers must actually occur, or the comparison proves little.
    EXPECT_GT(hits, 100);
    EXPECT_GT(misses, 100);
  }
}

TEST(SkipLists, ClassIdentifierKeysAreNeverReportedInAnyCase) {
  CSkipLists lists;
  for (std::u16string_view key :
       {u"HKEY_CLASSES_ROOT\\CLSID\\{00022603-0000-0000-C000-000000000046}\\InprocServer32",
        u"hkey_classes_root\\clsid\\{00022603-0000-0000-c000-000000000046}",
        u"HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\CLSID\\{3050F4F8-98B5-11CF-BB82-00AA00BDCE0B}",
        u"HKEY_CLASSES_ROOT\\CLSID\\{9efbf860-1234-5678-9abc-def012345678}",  // a prefix entry
        u"HKEY_CLASSES_ROOT\\CLSID\\{6a1e0c52-8b3d-4f17-9c2a-5e7d31b04f86}",  // the family's own
        u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Lavasoft\\Ad-Aware"}) {
    EXPECT_FALSE(lists.IsReportableKey(key)) << Utf16ToUtf8(key);
  }
  for (std::u16string_view key :
       {u"HKEY_CLASSES_ROOT\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\InprocServer32",
        u"HKEY_CURRENT_USER\\Software\\Zebra Tools\\Recent"}) {
    EXPECT_TRUE(lists.IsReportableKey(key)) << Utf16ToUtf8(key);
  }
}

TEST(SkipLists, SystemFilesAreExemptFromTesting) {
  CSkipLists lists;
  EXPECT_FALSE(lists.IsCheckableFile(u"C:\\boot.ini"));
  EXPECT_FALSE(lists.IsCheckableFile(u"c:\\BOOT.INI"));
  EXPECT_FALSE(lists.IsCheckableFile(u"D:\\RECYCLER\\S-1-5-21\\x.exe"));
  EXPECT_TRUE(lists.IsCheckableFile(u"C:\\Program Files\\Zebra\\zebra.exe"));
}

TEST(SkipLists, SpecialFoldersJoinTheFileListOnFirstUseOnly) {
  int calls = 0;
  CSkipLists lists([&] {
    ++calls;
    return std::vector<std::u16string>{u"C:\\Users\\Ann\\AppData\\Roaming\\Zebra Links"};
  });
  EXPECT_TRUE(lists.IsReportableKey(u"HKEY_CURRENT_USER\\Software\\Zebra Tools"));
  EXPECT_EQ(calls, 0);  // the key list does not need them
  EXPECT_FALSE(lists.IsCheckableFile(u"c:\\users\\ann\\appdata\\roaming\\zebra links\\a.exe"));
  EXPECT_TRUE(lists.IsCheckableFile(u"C:\\Users\\Ann\\zebra.exe"));
  EXPECT_EQ(lists.FileList().Fragments().size(), 410u);
  EXPECT_EQ(calls, 1);
}

// The problem gate asks the key list through the context's hook: for every key except a
// shortcut's (a file path), and for the value name of a shared-file finding.
TEST(SkipLists, TheProblemGateConsultsTheKeyListButNotForShortcuts) {
  testing::NiceMock<test::MockRegistry> registry;
  test::RegistryOnlyPlatform platform(registry);
  EngineContext ctx(platform);
  CSkipLists lists;
  ctx.hooks.isReportableKey = [&](std::u16string_view key) { return lists.IsReportableKey(key); };
  test::TestCategory category(ctx, 1, nullptr);

  const std::u16string listedClass = u"{00022603-0000-0000-C000-000000000046}";
  EXPECT_EQ(category.AddProblem(2, u"HKEY_CLASSES_ROOT\\CLSID\\" + listedClass, u"", u"", u"", 0),
            -1);
  EXPECT_EQ(category.AddProblem(33, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zebra Tools",
                                u"C:\\Lavasoft\\x.dll", u"", u"", 0),
            -1);
  // A shortcut whose path happens to hold a listed fragment is still reported.
  EXPECT_EQ(category.AddProblem(34, u"C:\\Users\\Ann\\Desktop\\Lavasoft " + listedClass + u".lnk",
                                u"", u"", u"", 0),
            0);
  EXPECT_EQ(category.AddProblem(33, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zebra Tools",
                                u"C:\\Zebra\\x.dll", u"", u"", 0),
            1);
  EXPECT_EQ(category.ProblemCount(), 2u);
}

}  // namespace
}  // namespace bc::engine
