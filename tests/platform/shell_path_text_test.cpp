// The text-only path functions of shlwapi, the C runtime and shell32, on their documented
// examples.
#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/path_string.h"

namespace bc::platform {
namespace {

std::string U8(std::u16string_view s) {
  return Utf16ToUtf8(s);
}

TEST(PathGetArgsW, FindsTheTailAfterTheFirstUnquotedBlank) {
  struct Case {
    const char16_t* path;
    const char16_t* args;
  } cases[] = {
      {u"test.exe temp.txt sample.doc", u"temp.txt sample.doc"},
      {u"\"C:\\Program Files\\a.exe\" /s x", u"/s x"},
      {u"C:\\Program Files\\a.exe /s", u"Files\\a.exe /s"},
      {u"C:\\a.exe", u""},
      {u"\"unterminated quote x", u""},
      {u"a.exe ", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(U8(PathGetArgsW(c.path)), U8(c.args)) << U8(c.path);
}

TEST(PathRemoveArgsAndUnquote, CutArgumentsAndEnclosingQuotes) {
  std::u16string p = u"\"C:\\Program Files\\a.exe\" /s";
  PathRemoveArgsW(&p);
  EXPECT_EQ(U8(p), "\"C:\\Program Files\\a.exe\"");
  PathUnquoteSpacesW(&p);
  EXPECT_EQ(U8(p), "C:\\Program Files\\a.exe");
  std::u16string noArgs = u"C:\\a.exe";
  PathRemoveArgsW(&noArgs);
  EXPECT_EQ(U8(noArgs), "C:\\a.exe");
  std::u16string half = u"\"C:\\a.exe";
  PathUnquoteSpacesW(&half);
  EXPECT_EQ(U8(half), "\"C:\\a.exe");
}

TEST(PathIsFileSpecW, IsTrueWithoutColonOrBackslash) {
  EXPECT_TRUE(PathIsFileSpecW(u"sample"));
  EXPECT_TRUE(PathIsFileSpecW(u"notepad.exe"));
  EXPECT_TRUE(PathIsFileSpecW(u"a/b.dll"));  // "/" is not a delimiter here
  EXPECT_FALSE(PathIsFileSpecW(u"C:\\TEST\\sample"));
  EXPECT_FALSE(PathIsFileSpecW(u"C:sample"));
  EXPECT_TRUE(PathIsFileSpecW(u"type=win32, version=1"));
}

TEST(SplitPathW, FollowsTheCRuntimeRules) {
  struct Case {
    const char16_t* path;
    const char16_t *drive, *dir, *fname, *ext;
  } cases[] = {
      {u"c:\\sample\\crt\\makepath.c", u"c:", u"\\sample\\crt\\", u"makepath", u".c"},
      {u"C:\\Windows\\shell32.dll,-10", u"C:", u"\\Windows\\", u"shell32", u".dll,-10"},
      {u"C:\\a.b\\c", u"C:", u"\\a.b\\", u"c", u""},
      {u"file.tar.gz", u"", u"", u"file.tar", u".gz"},
      {u"\\\\srv\\share\\x.txt", u"", u"\\\\srv\\share\\", u"x", u".txt"},
      {u"C:/a/b.", u"C:", u"/a/", u"b", u"."},
  };
  for (const auto& c : cases) {
    const auto r = SplitPathW(c.path);
    EXPECT_EQ(U8(r.drive), U8(c.drive)) << U8(c.path);
    EXPECT_EQ(U8(r.dir), U8(c.dir)) << U8(c.path);
    EXPECT_EQ(U8(r.fname), U8(c.fname)) << U8(c.path);
    EXPECT_EQ(U8(r.ext), U8(c.ext)) << U8(c.path);
  }
}

TEST(MatchesFilePattern, MatchesLikeFindFirstFile) {
  struct Case {
    const char16_t *pattern, *name;
    bool match;
  } cases[] = {
      {u"*", u"anything.txt", true},    {u"*.*", u"noext", true},
      {u"*.lnk", u"Notepad.LNK", true}, {u"*.lnk", u"a.lnk.txt", false},
      {u"a?c.txt", u"abc.txt", true},   {u"a?c.txt", u"ac.txt", false},
      {u"*.", u"noext", true},          {u"*.", u"a.txt", false},
      {u"abc.*", u"abc", true},         {u"x*y*z", u"x12y34z", true},
      {u"x*y*z", u"x12y34", false},     {u"D*.dll", u"dc1.dll", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchesFilePattern(c.pattern, c.name), c.match) << U8(c.pattern) << " " << U8(c.name);
  }
}

TEST(CommandLineToArgvW, SplitsWithTheRuntimeQuoting) {
  const auto args = CommandLineToArgvW(
      u"\"C:\\Program Files\\regedit.exe\" /s \"C:\\a b\\x.reg\" a\\\\\"b c\" d\\\"e \"\"");
  ASSERT_EQ(args.size(), 6u);
  EXPECT_EQ(U8(args[0]), "C:\\Program Files\\regedit.exe");
  EXPECT_EQ(U8(args[1]), "/s");
  EXPECT_EQ(U8(args[2]), "C:\\a b\\x.reg");
  EXPECT_EQ(U8(args[3]), "a\\b c");
  EXPECT_EQ(U8(args[4]), "d\"e");
  EXPECT_EQ(U8(args[5]), "");
  EXPECT_TRUE(CommandLineToArgvW(u"").empty());
}

TEST(PathRemoveFileSpecW, KeepsRoots) {
  struct Case {
    const char16_t *in, *out;
  } cases[] = {{u"C:\\a\\b.txt", u"C:\\a"},
               {u"C:\\a", u"C:\\"},
               {u"C:\\", u"C:\\"},
               {u"\\a", u"\\"},
               {u"name", u""}};
  for (const auto& c : cases) {
    std::u16string p = c.in;
    PathRemoveFileSpecW(&p);
    EXPECT_EQ(U8(p), U8(c.out)) << U8(c.in);
  }
}

}  // namespace
}  // namespace bc::platform
