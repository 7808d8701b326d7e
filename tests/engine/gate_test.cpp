// AddProblem, the single gate: root names, the duplicate rule, skip and exclusion hooks,
// protection, the administrator's open-or-create test, the log line.
#include <gtest/gtest.h>

#include "engine/reg_paths.h"
#include "engine/scan_controller.h"
#include "engine_test_support.h"

namespace bc::engine::test {
namespace {

using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_LOCAL_MACHINE;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Eq;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgPointee;
using ::testing::StrictMock;

struct Finding {
  std::int32_t type;
  std::u16string key;
  std::u16string valueName;
  std::u16string valueData;
  std::u16string alternateKey;
  std::int32_t is32 = 0;
};

SystemFacts Facts(bool wow64, bool admin, platform::DWORD major = 6) {
  SystemFacts facts;
  facts.wow64 = wow64;
  facts.userIsAdmin = admin;
  facts.windowsMajorVersion = major;
  return facts;
}

int Add(CCategory& c, const Finding& f) {
  return c.AddProblem(f.type, f.key, f.valueName, f.valueData, f.alternateKey, f.is32);
}

// Two categories (ActiveX and file types) under one controller.
class GateTest : public ::testing::Test {
 protected:
  GateTest() { Build({}); }

  void Build(SystemFacts facts) {
    controller.reset();
    ctx = std::make_unique<EngineContext>(platform, std::move(facts));
    ctx->hooks.createCategory = [](std::uint32_t bit, EngineContext& c) {
      return std::make_unique<TestCategory>(c, bit, nullptr);
    };
    ctx->hooks.writeLogLine = [this](std::u16string_view line) { log.emplace_back(line); };
    controller = std::make_unique<CScanController>(*ctx);
    controller->SetUndoRecorder(recorder);
    ASSERT_TRUE(controller->CreateCategories(0x0005, 2));
  }
  CCategory& A() { return *controller->GetCategory(0x0001); }
  CCategory& B() { return *controller->GetCategory(0x0004); }

  NiceMock<MockRegistry> reg;
  RegistryOnlyPlatform platform{reg};
  std::unique_ptr<EngineContext> ctx;
  std::unique_ptr<CScanController> controller;
  std::vector<std::u16string> log;
  CUndoRecorder* recorder = reinterpret_cast<CUndoRecorder*>(0x1000);
};

TEST_F(GateTest, RootNameMustBeOneOfTheFiveExactly) {
  const struct {
    std::int32_t type;
    std::u16string key;
    bool kept;
  } cases[] = {
      {1, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone", true},
      {1, u"HKEY_CLASSES_ROOT\\CLSID\\{1}", true},
      {1, u"HKEY_CURRENT_CONFIG\\Software\\X", true},
      {1, u"HKEY_USERS", true},  // a bare root has an empty sub-key
      {1, u"hkey_local_machine\\SOFTWARE\\Gone", false},
      {1, u"HKLM\\SOFTWARE\\Gone", false},
      {1, u"HKEY_PERFORMANCE_DATA\\X", false},
      {1, u"HKEY_LOCAL_MACHINEX\\SOFTWARE", false},
      {1, u"", false},
      {42, u"C:\\Windows\\x.dll", false},
      {34, u"C:\\Users\\me\\Desktop\\gone.lnk", true},  // a shortcut's file path
      {40, u"", true},                                  // start-menu shortcut: no key
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.key));
    const std::size_t before = A().ProblemCount();
    const int index = A().AddProblem(c.type, c.key, u"", u"", u"", 0);
    EXPECT_EQ(index >= 0, c.kept);
    EXPECT_EQ(A().ProblemCount(), before + (c.kept ? 1 : 0));
    if (c.kept) {
      EXPECT_EQ(index, static_cast<int>(before));
    }
  }
}

TEST_F(GateTest, DuplicateRuleAcrossCategories) {
  const std::u16string kClsid = u"HKEY_CLASSES_ROOT\\CLSID\\{AB}\\InprocServer32";
  const std::u16string kMachineClsid =
      u"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{ab}\\InprocServer32";
  const struct {
    const char* name;
    Finding first;   // reported by category A
    Finding second;  // then by category B
    bool secondKept;
  } cases[] = {
      {"classes root, then machine classes",
       {0, kClsid, u"", u"x.dll", u""},
       {42, kMachineClsid, u"", u"X.DLL", u""},
       false},
      {"machine classes, then classes root",
       {42, kMachineClsid, u"V", u"", u""},
       {0, kClsid, u"v", u"", u""},
       false},
      {"same key, other letter case",
       {1, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Foo", u"", u"", u""},
       {13, u"HKEY_LOCAL_MACHINE\\software\\FOO", u"", u"", u""},
       false},
      {"32-bit view kept apart",
       {0, kClsid, u"", u"x.dll", u"", 0},
       {0, kClsid, u"", u"x.dll", u"", 1},
       true},
      {"other value name", {2, kClsid, u"AppID", u"", u""}, {2, kClsid, u"AppIDs", u"", u""}, true},
      {"other value data", {2, kClsid, u"", u"a", u""}, {2, kClsid, u"", u"b", u""}, true},
      {"other alternate key",
       {0, kClsid, u"", u"", u"HKEY_CLASSES_ROOT\\A"},
       {0, kClsid, u"", u"", u"HKEY_CLASSES_ROOT\\B"},
       true},
      {"user classes are not machine classes",
       {1, u"HKEY_CURRENT_USER\\Software\\Classes\\.foo", u"", u"", u""},
       {1, u"HKEY_CLASSES_ROOT\\.foo", u"", u"", u""},
       true},
      {"only a leading classes root is replaced",
       {1, u"HKEY_LOCAL_MACHINE\\Software\\Classes\\HKEY_CLASSES_ROOT\\x", u"", u"", u""},
       {1, u"HKEY_LOCAL_MACHINE\\Software\\Classes\\HKEY_LOCAL_MACHINE\\Software\\Classes\\x", u"",
        u"", u""},
       true},
      {"empty keys never match", {40, u"", u"", u"", u""}, {40, u"", u"", u"", u""}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(controller->CreateCategories(0x0005, 2));
    ASSERT_GE(Add(A(), c.first), 0);
    EXPECT_EQ(Add(B(), c.second) >= 0, c.secondKept);
    EXPECT_EQ(controller->TotalProblems(), c.secondKept ? 2u : 1u);
  }
}

TEST_F(GateTest, DuplicateWithinOneCategoryAndOutsideAController) {
  const Finding f{1, u"HKEY_CURRENT_USER\\Software\\Gone", u"", u"", u""};
  EXPECT_EQ(Add(A(), f), 0);
  EXPECT_EQ(Add(A(), f), -1);

  TestCategory loose(*ctx, 0x0001, nullptr);
  EXPECT_EQ(Add(loose, f), 0);
  EXPECT_EQ(Add(loose, f), -1);
}

// The rule sees exactly the problems listed now: read back from results, removed, re-sorted.
TEST_F(GateTest, DuplicateRuleFollowsTheProblemLists) {
  const std::u16string kKey = u"HKEY_CLASSES_ROOT\\CLSID\\{AB}\\InprocServer32";
  const std::u16string kMachineKey =
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\clsid\\{ab}\\InprocServer32";

  auto loaded = std::make_unique<CProblem>();
  loaded->EntryType = 0;
  loaded->Key = kKey;
  loaded->ValueData = u"a.dll";
  B().AdoptProblem(std::move(loaded));
  EXPECT_EQ(Add(A(), {0, kMachineKey, u"", u"A.DLL", u""}), -1);

  // Three findings of one key; the one in the middle goes, and only it may come back.
  for (const char16_t* data : {u"x.dll", u"y.dll", u"z.dll"}) {
    ASSERT_GE(Add(A(), {0, kKey, u"", data, u""}), 0);
    A().AddProblemText(std::u16string(u"line ") + data, static_cast<int>(A().ProblemCount() - 1));
  }
  A().SortProblems();
  ASSERT_EQ(A().ProblemAt(1)->ValueData, u"y.dll");
  A().RemoveProblemAt(1);
  B().RemoveProblemAt(0);
  EXPECT_EQ(Add(B(), {0, kMachineKey, u"", u"X.dll", u""}), -1);
  EXPECT_EQ(Add(B(), {0, kMachineKey, u"", u"Z.dll", u""}), -1);
  EXPECT_EQ(Add(B(), {0, kMachineKey, u"", u"Y.dll", u""}), 0);
  EXPECT_EQ(Add(A(), {0, kKey, u"", u"a.dll", u""}), 2);
  EXPECT_EQ(Add(A(), {0, kKey, u"", u"a.dll", u""}), -1);
}

TEST_F(GateTest, HooksSeeFoldedTextAndOnlyTheirEntryTypes) {
  std::vector<std::u16string> skipAsked, excludedAsked, historyAsked;
  ctx->hooks.isReportableKey = [&](std::u16string_view k) {
    skipAsked.emplace_back(k);
    return k.find(u"skipme") == std::u16string_view::npos;
  };
  ctx->hooks.isExcluded = [&](std::u16string_view k) {
    excludedAsked.emplace_back(k);
    return k.find(u"EXCLUDED") != std::u16string_view::npos;
  };
  ctx->hooks.isHistoryExcluded = [&](std::u16string_view k) {
    historyAsked.emplace_back(k);
    return k.find(u"FAILED") != std::u16string_view::npos;
  };

  EXPECT_EQ(A().AddProblem(42, u"HKEY_CURRENT_USER\\Software\\Ok", u"V", u"", u"", 0), 0);
  EXPECT_EQ(skipAsked, std::vector<std::u16string>{u"hkey_current_user\\software\\ok"});
  EXPECT_EQ(excludedAsked, std::vector<std::u16string>{u"HKEY_CURRENT_USER\\SOFTWARE\\OK"});
  EXPECT_TRUE(historyAsked.empty());

  EXPECT_EQ(A().AddProblem(1, u"HKEY_CURRENT_USER\\Software\\SkipMe", u"", u"", u"", 0), -1);
  EXPECT_EQ(A().AddProblem(1, u"HKEY_CURRENT_USER\\Software\\Excluded", u"", u"", u"", 0), -1);
  // Shared files also ask about the file named by the value name.
  skipAsked.clear();
  EXPECT_EQ(A().AddProblem(33, u"HKEY_LOCAL_MACHINE\\SharedDLLs", u"C:\\SkipMe.dll", u"", u"", 0),
            -1);
  EXPECT_EQ(skipAsked,
            (std::vector<std::u16string>{u"hkey_local_machine\\shareddlls", u"c:\\skipme.dll"}));
  // Shortcuts are never put to the key skip list.
  skipAsked.clear();
  EXPECT_EQ(A().AddProblem(34, u"C:\\skipme.lnk", u"", u"", u"", 0), 1);
  EXPECT_TRUE(skipAsked.empty());

  // History exclusions apply to entry types 26-32 only.
  for (std::int32_t type : {26, 32}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(A().AddProblem(type, u"HKEY_CURRENT_USER\\Failed\\" + Ascii(std::to_string(type)),
                             u"", u"", u"", 0),
              -1);
  }
  for (std::int32_t type : {25, 33}) {
    SCOPED_TRACE(type);
    EXPECT_GE(A().AddProblem(type, u"HKEY_CURRENT_USER\\Failed\\" + Ascii(std::to_string(type)),
                             u"", u"", u"", 0),
              0);
  }
  EXPECT_EQ(historyAsked.size(), 2u);
}

TEST_F(GateTest, AcceptedProblemCarriesFieldsRecorderAndLogLine) {
  EXPECT_EQ(A().AddProblem(42, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\App", u"Path", u"C:\\gone.exe",
                           u"HKEY_LOCAL_MACHINE\\SOFTWARE", 1),
            0);
  EXPECT_EQ(A().AddProblem(34, u"C:\\Desktop\\gone.lnk", u"", u"", u"", 0), 1);
  EXPECT_EQ(A().AddProblem(7, u"HKEY_CLASSES_ROOT\\Other", u"", u"", u"", 0), 2);
  A().AddProblemText(u"desc", 0);
  A().AddProblemText(u"where", 0);
  A().AddProblemText(u"ignored", 3);
  A().AddProblemText(u"ignored", -1);

  const CProblem& p = *A().ProblemAt(0);
  EXPECT_EQ(p.EntryType, 42);
  EXPECT_EQ(p.Key, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\App");
  EXPECT_EQ(p.ValueName, u"Path");
  EXPECT_EQ(p.ValueData, u"C:\\gone.exe");
  EXPECT_EQ(p.AlternateKey, u"HKEY_LOCAL_MACHINE\\SOFTWARE");
  EXPECT_EQ(p.Is32BitEntry, 1);
  EXPECT_EQ(p.Selected, 1);
  EXPECT_EQ(p.UndoRecorder, recorder);
  EXPECT_EQ(p.DisplayTexts, (std::vector<std::u16string>{u"desc", u"where"}));
  EXPECT_TRUE(A().ProblemAt(2)->DisplayTexts.empty());

  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0],
            u"Invalid Entry Found :\r\n EntryType:42\r\n Key:HKEY_LOCAL_MACHINE\\SOFTWARE\\App\r\n "
            u"ValueName:Path \r\n ValueData:C:\\gone.exe \r\n AlternateKey:HKEY_LOCAL_MACHINE\\"
            u"SOFTWARE \r\n 32BitEntry:1");
  EXPECT_EQ(log[1], u"Invalid Shortcut :\r\n EntryType:34\r\nLink:C:\\Desktop\\gone.lnk");
  // Dropped findings leave no line.
  EXPECT_EQ(A().AddProblem(42, u"HKLM\\SOFTWARE\\App", u"", u"", u"", 0), -1);
  EXPECT_EQ(log.size(), 3u);

  EXPECT_TRUE(A().HasProblem(u"HKEY_CLASSES_ROOT\\Other", 7));
  EXPECT_FALSE(A().HasProblem(u"HKEY_CLASSES_ROOT\\other", 7));
  EXPECT_FALSE(A().HasProblem(u"HKEY_CLASSES_ROOT\\Other", 1));
}

TEST_F(GateTest, ProtectedKeysAreDroppedWithTheViewOfTheFinding) {
  const struct {
    const char* name;
    bool wow64;
    platform::DWORD major;
    std::int32_t is32;
    bool asked;
    platform::REGSAM mask;
  } cases[] = {
      {"32-bit Windows 7", false, 6, 0, true, 0x2001F},
      {"64-bit Windows 7, native view", true, 6, 0, true, 0x2011F},
      {"64-bit Windows 7, 32-bit view", true, 6, 1, true, 0x2021F},
      {"Windows XP protects no key", false, 5, 0, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Build(Facts(c.wow64, false, c.major));
    ::testing::Mock::VerifyAndClearExpectations(&reg);
    ON_CALL(reg, HasSfcIsKeyProtected()).WillByDefault(Return(true));
    ON_CALL(reg, SfcIsKeyProtected(_, _, _)).WillByDefault(Return(0));
    if (c.asked) {
      EXPECT_CALL(reg, SfcIsKeyProtected(HKEY_LOCAL_MACHINE, Eq(u"SOFTWARE\\Protected"), c.mask))
          .WillOnce(Return(1));
      EXPECT_CALL(reg, SfcIsKeyProtected(HKEY_CLASSES_ROOT, Eq(u"CLSID\\{1}"), c.mask))
          .WillOnce(Return(0));
    } else {
      EXPECT_CALL(reg, SfcIsKeyProtected(_, _, _)).Times(0);
    }
    const int protectedIndex =
        A().AddProblem(1, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Protected", u"", u"", u"", c.is32);
    EXPECT_EQ(protectedIndex >= 0, !c.asked);
    EXPECT_GE(A().AddProblem(1, u"HKEY_CLASSES_ROOT\\CLSID\\{1}", u"", u"", u"", c.is32), 0);
    ::testing::Mock::VerifyAndClearExpectations(&reg);
  }
}

TEST_F(GateTest, WithoutSfcIsKeyProtectedNothingIsProtected) {
  ON_CALL(reg, HasSfcIsKeyProtected()).WillByDefault(Return(false));
  EXPECT_CALL(reg, SfcIsKeyProtected(_, _, _)).Times(0);
  EXPECT_EQ(A().AddProblem(1, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Any", u"", u"", u"", 0), 0);
}

TEST_F(GateTest, NonAdministratorNeverOpensTheKey) {
  Build(Facts(false, false));
  EXPECT_CALL(reg, RegOpenKeyExW(_, _, _, _, _)).Times(0);
  EXPECT_CALL(reg, RegCreateKeyExW(_, _, _, _, _, _)).Times(0);
  EXPECT_EQ(A().AddProblem(1, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", u"", u"", u"", 0), 0);
}

TEST_F(GateTest, AdministratorKeepsOnlyKeysItCanOpenOrCreateForWriting) {
  constexpr platform::HKEY kOpened = 0x1234;
  const struct {
    const char* name;
    platform::LSTATUS open;
    platform::LSTATUS create;  // -1: create must not be tried
    bool kept;
  } cases[] = {
      {"opens for writing", platform::ERROR_SUCCESS, -1, true},
      // The gate creates the missing key as a side effect of this test.
      {"missing but can be created", platform::ERROR_FILE_NOT_FOUND, platform::ERROR_SUCCESS, true},
      {"neither opens nor creates", platform::ERROR_ACCESS_DENIED, platform::ERROR_ACCESS_DENIED,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Build(Facts(true, true));
    ::testing::Mock::VerifyAndClearExpectations(&reg);
    EXPECT_CALL(reg, RegOpenKeyExW(HKEY_LOCAL_MACHINE, Eq(u"SOFTWARE\\App"), 0, 0x2021Fu, _))
        .WillOnce(DoAll(SetArgPointee<4>(kOpened), Return(c.open)));
    if (c.create < 0) {
      EXPECT_CALL(reg, RegCreateKeyExW(_, _, _, _, _, _)).Times(0);
    } else {
      EXPECT_CALL(reg, RegCreateKeyExW(HKEY_LOCAL_MACHINE, Eq(u"SOFTWARE\\App"),
                                       platform::REG_OPTION_NON_VOLATILE, 0x2021Fu, _, _))
          .WillOnce(DoAll(SetArgPointee<4>(kOpened), Return(c.create)));
    }
    EXPECT_CALL(reg, RegCloseKey(kOpened)).Times(c.kept ? 1 : 0);
    EXPECT_EQ(A().AddProblem(42, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\App", u"V", u"", u"", 1) >= 0,
              c.kept);
    ::testing::Mock::VerifyAndClearExpectations(&reg);
  }
}

TEST_F(GateTest, AdministratorTestSkipsHistoryAndShortcutTypes) {
  Build(Facts(false, true));
  EXPECT_CALL(reg, RegOpenKeyExW(_, _, _, _, _)).Times(0);
  EXPECT_CALL(reg, RegCreateKeyExW(_, _, _, _, _, _)).Times(0);
  for (std::int32_t type : {26, 29, 32}) {
    EXPECT_GE(A().AddProblem(type, u"HKEY_CURRENT_USER\\H\\" + Ascii(std::to_string(type)), u"",
                             u"", u"", 0),
              0);
  }
  EXPECT_GE(A().AddProblem(34, u"C:\\a.lnk", u"", u"", u"", 0), 0);
  EXPECT_GE(A().AddProblem(40, u"", u"", u"", u"", 0), 0);
}

// The steps run in their fixed order and each refusal ends the gate there.
TEST_F(GateTest, StepsRunInOrder) {
  Build(Facts(false, true));
  std::vector<std::string> trace;
  ctx->hooks.isReportableKey = [&](std::u16string_view) {
    trace.push_back("skip");
    return true;
  };
  ctx->hooks.isExcluded = [&](std::u16string_view) {
    trace.push_back("exclude");
    return false;
  };
  ctx->hooks.isHistoryExcluded = [&](std::u16string_view) {
    trace.push_back("history");
    return false;
  };
  ctx->hooks.writeLogLine = [&](std::u16string_view) { trace.push_back("log"); };
  ON_CALL(reg, HasSfcIsKeyProtected()).WillByDefault(Return(true));
  ON_CALL(reg, SfcIsKeyProtected(_, _, _)).WillByDefault([&](auto, auto, auto) {
    trace.push_back("protected");
    return 0;
  });
  ON_CALL(reg, RegOpenKeyExW(_, _, _, _, _)).WillByDefault([&](auto, auto, auto, auto, auto) {
    trace.push_back("open");
    return platform::ERROR_SUCCESS;
  });

  EXPECT_EQ(A().AddProblem(42, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\A", u"", u"", u"", 0), 0);
  EXPECT_EQ(trace,
            (std::vector<std::string>{"skip", "protected", "exclude", "protected", "open", "log"}));
  trace.clear();
  EXPECT_EQ(A().AddProblem(27, u"HKEY_CURRENT_USER\\Software\\MRU", u"a", u"", u"", 0), 1);
  EXPECT_EQ(trace, (std::vector<std::string>{"skip", "protected", "exclude", "history", "log"}));
  trace.clear();
  // A duplicate stops before the history test.
  EXPECT_EQ(B().AddProblem(27, u"HKEY_CURRENT_USER\\Software\\MRU", u"A", u"", u"", 0), -1);
  EXPECT_EQ(trace, (std::vector<std::string>{"skip", "protected", "exclude"}));
}

}  // namespace
}  // namespace bc::engine::test
