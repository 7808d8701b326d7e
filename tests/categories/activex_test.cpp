// The ActiveX and COM category on small simulated machines: one kind of finding per machine, the
// near misses that must not be reported, both views of 64-bit Windows, the empty-key setting,
// elevation, stopping and sorting.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "categories/activex.h"
#include "engine/messages.h"
#include "tests/categories/category_fixture.h"

namespace bc::categories {
namespace {

using testing::Arch;
using testing::Finding;
using testing::FindingsOf;
using testing::FixtureMachine;
using testing::MachineOptions;
using testing::ScanSession;
using testing::Sorted;

// Windows' own automation proxy, which the standard IDispatch registration names.
constexpr const char* kBaseline = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{00020420-0000-0000-C000-000000000046}]
@="PSDispatch"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{00020420-0000-0000-C000-000000000046}\InprocServer32]
@="C:\\Windows\\System32\\oleaut32.dll"
)";

struct Case {
  const char* name;
  const char* reg;
  std::vector<const char*> files;
  std::vector<Finding> expected;
  Arch arch = Arch::x64;
  bool elevated = true;
  bool skipEmptyKeys = true;
  std::vector<const char*> deniedKeys = {};
};

std::vector<Finding> ScanCase(const Case& c) {
  MachineOptions options;
  options.arch = c.arch;
  FixtureMachine machine(options);
  machine.Reg(kBaseline).Reg(c.reg);
  for (const char* file : c.files) machine.CreateFile(file);
  for (const char* key : c.deniedKeys) machine.Deny(key);
  ScanSession session(machine, c.elevated);
  session.skipEmptyKeys = c.skipEmptyKeys;
  auto category = session.Make<CActiveX>();
  EXPECT_EQ(category->Scan(), 1) << c.name;
  return FindingsOf(*category);
}

// Each machine plants one kind of finding (and the near misses around it) in the native branch
// (HKLM\SOFTWARE\Classes), the 32-bit branch (...\Classes\Wow6432Node) or the user's classes.
const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"healthy registrations of every kind give nothing",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10001-0000-4000-8000-000000000001}]
@="Healthy Viewer"
"AppID"="{C0A1A001-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10001-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Program Files\\Healthy\\viewer.dll"
"ThreadingModel"="Apartment"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10001-0000-4000-8000-000000000001}\LocalServer32]
@=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,53,00,\
  79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,68,00,6c,00,74,00,68,00,2e,00,65,00,78,00,\
  65,00,20,00,2f,00,61,00,00,00
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10001-0000-4000-8000-000000000001}\ProgID]
@="Nowhere.Viewer.1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10001-0000-4000-8000-000000000001}\TypeLib]
@="Not.A.Library"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10001-0000-4000-8000-000000000001}\DefaultIcon]
@="C:\\Program Files\\Gone\\icons.dll,3"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10001-0000-4000-8000-000000000001}\ToolboxBitmap32]
@="C:\\Program Files\\Healthy\\viewer.dll, 4"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10001-0000-4000-8000-000000000001}\ShellEx\ContextMenuHandlers\{C0A10002-0000-4000-8000-000000000001}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10001-0000-4000-8000-000000000001}\ShellEx\ContextMenuHandlers\ViewerMenu]
@="{C0A10002-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10001-0000-4000-8000-000000000001}\ShellEx\ContextMenuHandlers\WordMenu]
@="Gone.Menu"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10002-0000-4000-8000-000000000001}\InprocServer32]
@="hlthmenu.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A10002-0000-4000-8000-000000000001}\InprocHandler32]
@=""
"ThreadingModel"="Both"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A10003-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Windows\\System32\\hlth32.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A10003-0000-4000-8000-000000000001}\LocalServer32]
@="\"C:\\Program Files (x86)\\Healthy\\quoted.exe\" -Embedding"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A10003-0000-4000-8000-000000000001}\InprocServer]
@="C:\\Program Files (x86)\\Healthy\\old.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A10003-0000-4000-8000-000000000001}\InprocServer\Extra]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AppID\{C0A1A001-0000-4000-8000-000000000001}]
@="Healthy Viewer"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AppID\{C0A1A002-0000-4000-8000-000000000001}]
"AppID"="{C0A1A0FF-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AppID\hlthview.exe]
"AppID"="{C0A1A001-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0A1B001-0000-4000-8000-000000000001}\1.0]
@="Healthy Library"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0A1B001-0000-4000-8000-000000000001}\1.0\0\win32]
@="C:\\Windows\\System32\\hlth32.dll\\2"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0A1B001-0000-4000-8000-000000000001}\1.0\0\win64]
@="hlthlib.tlb"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0A1B001-0000-4000-8000-000000000001}\1.0\FLAGS]
@="0"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0A1B001-0000-4000-8000-000000000001}\1.0\HELPDIR]
@="C:\\Program Files\\Healthy\\Help"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0A1B002-0000-4000-8000-000000000001}\1.0\HELPDIR]
@="C:\\Program Files\\Gone\\Help"
"Alternate"="C:\\Program Files\\Gone\\Help"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0A1B003-0000-4000-8000-000000000001}\1.0\HELPDIR]
@="C:\\Program Files\\Vendor 1\\Product 1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0A1B004-0000-4000-8000-000000000001}\1.0\HELPDIR]
@=" \"%SystemDrive%\\Program Files\\Vendor 1\\Help Files\" "
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Interface\{C0A1C001-0000-4000-8000-000000000001}]
@="IHealthy"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Interface\{C0A1C001-0000-4000-8000-000000000001}\ProxyStubClsid32]
@="{00020420-0000-0000-C000-000000000046}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Interface\{C0A1C001-0000-4000-8000-000000000001}\TypeLib]
@="{C0A1B001-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\Interface\{C0A1C002-0000-4000-8000-000000000001}\ProxyStubClsid32]
@="{C0A10003-0000-4000-8000-000000000001}"
)",
       {"C:\\Program Files\\Healthy\\viewer.dll", "C:\\Windows\\System32\\hlth.exe",
        "C:\\Windows\\System32\\hlthmenu.dll", "C:\\Windows\\SysWOW64\\hlth32.dll",
        "C:\\Program Files (x86)\\Healthy\\old.dll", "C:\\Windows\\System32\\hlthlib.tlb",
        "C:\\Program Files\\Healthy\\Help\\", "C:\\Program Files (x86)\\Healthy\\quoted.exe",
        "C:\\Program Files\\Vendor 1\\Product 1\\", "C:\\Program Files\\Vendor 1\\Help Files\\"},
       {}},

      {"a server file that is gone",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A20001-0000-4000-8000-000000000001}]
@="Gone Viewer"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A20001-0000-4000-8000-000000000001}\InprocServer32]
@=" C:\\Program Files\\Gone\\viewer.dll "
"ThreadingModel"="Apartment"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A20002-0000-4000-8000-000000000001}\LocalServer32]
@="C:\\Program Files (x86)\\Gone\\agent.exe /automation"
)",
       {},
       {{0,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A20001-0000-4000-8000-000000000001}\\InprocServer32",
         "",
         "C:\\Program Files\\Gone\\viewer.dll",
         0,
         {"Gone Viewer", "InprocServer32"}},
        // Without a description the identifier stands in.
        {0,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A20002-0000-4000-8000-000000000001}\\LocalServer32",
         "",
         "C:\\Program Files (x86)\\Gone\\agent.exe /automation",
         1,
         {"{C0A20002-0000-4000-8000-000000000001}", "LocalServer32"}}}},

      // A 32-bit installer may register a 64-bit in-process server under the 32-bit program
      // folder; only that server kind of the native pass is looked for there.
      {"only native in-process servers are looked for in the other program folder",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A30001-0000-4000-8000-000000000001}]
@="Moved"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A30001-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Program Files\\Moved\\moved.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A30001-0000-4000-8000-000000000001}\LocalServer32]
@="C:\\Program Files\\Moved\\moved.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A30002-0000-4000-8000-000000000001}]
@="Moved 32"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A30002-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Program Files\\Moved\\moved32.dll"
)",
       {"C:\\Program Files (x86)\\Moved\\moved.dll", "C:\\Program Files (x86)\\Moved\\moved.exe",
        "C:\\Program Files (x86)\\Moved\\moved32.dll"},
       {{0,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A30001-0000-4000-8000-000000000001}\\LocalServer32",
         "",
         "C:\\Program Files\\Moved\\moved.exe",
         0,
         {"Moved", "LocalServer32"}},
        {0,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A30002-0000-4000-8000-000000000001}\\InprocServer32",
         "",
         "C:\\Program Files\\Moved\\moved32.dll",
         1,
         {"Moved 32", "InprocServer32"}}}},

      {"empty server keys, a named value alone included",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A40001-0000-4000-8000-000000000001}]
@="Half Removed"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A40001-0000-4000-8000-000000000001}\InprocServer32]
"ThreadingModel"="Both"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A40001-0000-4000-8000-000000000001}\LocalServer]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A40001-0000-4000-8000-000000000001}\InprocHandler32]
@=""
"ThreadingModel"="Both"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A40001-0000-4000-8000-000000000001}\InprocHandler]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A40001-0000-4000-8000-000000000001}\InprocHandler\Sub]
@="x"
)",
       {},
       {{1,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A40001-0000-4000-8000-000000000001}\\InprocServer32",
         "",
         "",
         0,
         {"Half Removed", "InprocServer32"}},
        {1,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A40001-0000-4000-8000-000000000001}\\LocalServer",
         "",
         "",
         0,
         {"Half Removed", "LocalServer"}}}},

      {"an empty ProgID key, but not a ProgID that names nothing",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A50001-0000-4000-8000-000000000001}]
@="Orphan"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A50001-0000-4000-8000-000000000001}\ProgID]
@=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A50002-0000-4000-8000-000000000001}\ProgID]
@="Nowhere.Thing.1"
)",
       {},
       {{1,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A50001-0000-4000-8000-000000000001}\\ProgID",
         "",
         "",
         0,
         {"Orphan", "ProgID"}}}},

      {"a class's application identifier that is gone",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A60001-0000-4000-8000-000000000001}]
"AppID"="{C0A6A0FF-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A60002-0000-4000-8000-000000000001}]
@="Agent"
"AppID"="{C0A6A0FE-0000-4000-8000-000000000001}"
)",
       {},
       // The class description is shown as it is, empty or not.
       {{2,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A60001-0000-4000-8000-000000000001}",
         "AppID",
         "{C0A6A0FF-0000-4000-8000-000000000001}",
         0,
         {""}},
        {2,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A60002-0000-4000-8000-000000000001}",
         "AppID",
         "{C0A6A0FE-0000-4000-8000-000000000001}",
         1,
         {"Agent"}}}},

      {"a class's type library that is gone, when the value looks like an identifier",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A70001-0000-4000-8000-000000000001}]
@="Typed"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A70001-0000-4000-8000-000000000001}\TypeLib]
@="{C0A7B0FF-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A70002-0000-4000-8000-000000000001}\TypeLib]
@="C0A7B0FE-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A70003-0000-4000-8000-000000000001}\TypeLib]
@="C0A7B0FD-0000-4000-8000-000000000001"
)",
       {},
       {{3,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A70001-0000-4000-8000-000000000001}\\TypeLib",
         "",
         "{C0A7B0FF-0000-4000-8000-000000000001}",
         0,
         {"Typed"}},
        {3,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A70002-0000-4000-8000-000000000001}\\TypeLib",
         "",
         "C0A7B0FE-0000-4000-8000-000000000001}",
         0,
         {""}}}},

      {"a default-icon key without a default value",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A80001-0000-4000-8000-000000000001}\DefaultIcon]
"Alternate"="C:\\x.ico"
)",
       {},
       {{4,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A80001-0000-4000-8000-000000000001}\\DefaultIcon",
         "",
         "",
         1,
         {"{C0A80001-0000-4000-8000-000000000001}"}}}},

      {"context-menu handlers whose classes are gone, named either way",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A90001-0000-4000-8000-000000000001}]
@="Menu Host"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A90001-0000-4000-8000-000000000001}\ShellEx\ContextMenuHandlers\{C0A9D0FF-0000-4000-8000-000000000001}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A90001-0000-4000-8000-000000000001}\ShellEx\ContextMenuHandlers\PlainMenu]
@="{C0A9D0FE-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0A90001-0000-4000-8000-000000000001}\ShellEx\ContextMenuHandlers\WordMenu]
@="Gone.Menu"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A90002-0000-4000-8000-000000000001}]
@="Menu Host 32"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A90002-0000-4000-8000-000000000001}\ShellEx\ContextMenuHandlers\{C0A9D0FD-0000-4000-8000-000000000001}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0A90002-0000-4000-8000-000000000001}\ShellEx\ContextMenuHandlers\PlainMenu]
@="{C0A9D0FC-0000-4000-8000-000000000001}"
)",
       {},
       {{5,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A90001-0000-4000-8000-000000000001}\\ShellEx\\"
         "ContextMenuHandlers\\{C0A9D0FF-0000-4000-8000-000000000001}",
         "",
         "",
         0,
         {"Menu Host", "HKEY_CLASSES_ROOT\\CLSID\\{C0A9D0FF-0000-4000-8000-000000000001}",
          "{C0A9D0FF-0000-4000-8000-000000000001}"}},
        {5,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A90001-0000-4000-8000-000000000001}\\ShellEx\\"
         "ContextMenuHandlers\\PlainMenu",
         "",
         "",
         0,
         {"Menu Host", "HKEY_CLASSES_ROOT\\CLSID\\{C0A9D0FE-0000-4000-8000-000000000001}",
          "{C0A9D0FE-0000-4000-8000-000000000001}"}},
        // In the 32-bit pass the handler named by its class is keyed under Wow6432Node; the
        // one naming its class in a value is not.
        {5,
         "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{C0A90002-0000-4000-8000-000000000001}\\ShellEx\\"
         "ContextMenuHandlers\\{C0A9D0FD-0000-4000-8000-000000000001}",
         "",
         "",
         1,
         {"Menu Host 32",
          "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{C0A9D0FD-0000-4000-8000-000000000001}",
          "{C0A9D0FD-0000-4000-8000-000000000001}"}},
        {5,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0A90002-0000-4000-8000-000000000001}\\ShellEx\\"
         "ContextMenuHandlers\\PlainMenu",
         "",
         "",
         1,
         {"Menu Host 32", "HKEY_CLASSES_ROOT\\CLSID\\{C0A9D0FC-0000-4000-8000-000000000001}",
          "{C0A9D0FC-0000-4000-8000-000000000001}"}}}},

      {"a toolbox bitmap whose file is gone",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0AA0001-0000-4000-8000-000000000001}]
@="Gone Control"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0AA0001-0000-4000-8000-000000000001}\ToolboxBitmap32]
@="C:\\Program Files\\Gone\\gonectl.ocx, 1"
)",
       {},
       {{42,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0AA0001-0000-4000-8000-000000000001}\\ToolboxBitmap32",
         "",
         "C:\\Program Files\\Gone\\gonectl.ocx, 1",
         0,
         {"Gone Control", "ToolboxBitmap32"}}}},

      // Windows 7 shares the AppID key between the views, so both passes find the entry. The
      // 32-bit pass keys it under Wow6432Node only where that view has its own entry.
      {"an executable's AppID entry naming an identifier that is gone",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AppID\goneagent.exe]
"AppID"="{C0ABA0FF-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AppID\splitagent.exe]
"AppID"="{C0ABA0FD-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\AppID\splitagent.exe]
"AppID"="{C0ABA0FD-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AppID\{C0ABA001-0000-4000-8000-000000000001}]
"AppID"="{C0ABA0FE-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AppID\noappid.exe]
@="No identifier"
)",
       {},
       {{6,
         "HKEY_CLASSES_ROOT\\AppID\\goneagent.exe",
         "AppID",
         "{C0ABA0FF-0000-4000-8000-000000000001}",
         0,
         {"goneagent.exe"}},
        {6,
         "HKEY_CLASSES_ROOT\\AppID\\goneagent.exe",
         "AppID",
         "{C0ABA0FF-0000-4000-8000-000000000001}",
         1,
         {"goneagent.exe"}},
        {6,
         "HKEY_CLASSES_ROOT\\AppID\\splitagent.exe",
         "AppID",
         "{C0ABA0FD-0000-4000-8000-000000000001}",
         0,
         {"splitagent.exe"}},
        {6,
         "HKEY_CLASSES_ROOT\\Wow6432Node\\AppID\\splitagent.exe",
         "AppID",
         "{C0ABA0FD-0000-4000-8000-000000000001}",
         1,
         {"splitagent.exe"}}}},

      {"type-library files and help folders that are gone or empty",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0ACB001-0000-4000-8000-000000000001}\1.0]
@="Gone Library"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0ACB001-0000-4000-8000-000000000001}\1.0\0\win32]
@="C:\\Program Files\\Gone\\gone32.tlb"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0ACB001-0000-4000-8000-000000000001}\1.0\0\win64]
@="C:\\Program Files\\Gone\\gone64.dll\\3"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0ACB001-0000-4000-8000-000000000001}\1.0\409\win32]
@=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0ACB001-0000-4000-8000-000000000001}\1.0\HELPDIR]
@="C:\\Program Files\\Gone\\Help"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0ACB002-0000-4000-8000-000000000001}\2.1\HELPDIR]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0ACB003-0000-4000-8000-000000000001}\1.0\HELPDIR]
"Path"="C:\\Windows"
)",
       {},
       {{7,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB001-0000-4000-8000-000000000001}\\1.0\\0\\win32",
         "",
         "C:\\Program Files\\Gone\\gone32.tlb",
         0,
         {"Gone Library", "1.0\\0\\win32"}},
        {7,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB001-0000-4000-8000-000000000001}\\1.0\\0\\win32",
         "",
         "C:\\Program Files\\Gone\\gone32.tlb",
         1,
         {"Gone Library", "1.0\\0\\win32"}},
        {7,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB001-0000-4000-8000-000000000001}\\1.0\\0\\win64",
         "",
         "C:\\Program Files\\Gone\\gone64.dll\\3",
         0,
         {"Gone Library", "1.0\\0\\win64"}},
        {7,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB001-0000-4000-8000-000000000001}\\1.0\\0\\win64",
         "",
         "C:\\Program Files\\Gone\\gone64.dll\\3",
         1,
         {"Gone Library", "1.0\\0\\win64"}},
        {9,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB001-0000-4000-8000-000000000001}\\1.0\\409\\win32",
         "",
         "",
         0,
         {"Gone Library", "1.0\\409\\win32"}},
        {9,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB001-0000-4000-8000-000000000001}\\1.0\\409\\win32",
         "",
         "",
         1,
         {"Gone Library", "1.0\\409\\win32"}},
        {10,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB001-0000-4000-8000-000000000001}\\1.0\\HELPDIR",
         "",
         "C:\\Program Files\\Gone\\Help",
         0,
         {"Gone Library", "1.0\\HELPDIR"}},
        {10,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB001-0000-4000-8000-000000000001}\\1.0\\HELPDIR",
         "",
         "C:\\Program Files\\Gone\\Help",
         1,
         {"Gone Library", "1.0\\HELPDIR"}},
        // No value at all, or one named value: the help folder reads empty.
        {8,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB002-0000-4000-8000-000000000001}\\2.1\\HELPDIR",
         "",
         "",
         0,
         {"", "2.1\\HELPDIR"}},
        {8,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB002-0000-4000-8000-000000000001}\\2.1\\HELPDIR",
         "",
         "",
         1,
         {"", "2.1\\HELPDIR"}},
        {8,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB003-0000-4000-8000-000000000001}\\1.0\\HELPDIR",
         "",
         "",
         0,
         {"", "1.0\\HELPDIR"}},
        {8,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0ACB003-0000-4000-8000-000000000001}\\1.0\\HELPDIR",
         "",
         "",
         1,
         {"", "1.0\\HELPDIR"}}}},

      {"interfaces whose proxy, viewer or type library is gone",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Interface\{C0ADC001-0000-4000-8000-000000000001}]
@="IGone"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Interface\{C0ADC001-0000-4000-8000-000000000001}\ProxyStubClsid]
@="{C0ADD0FF-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Interface\{C0ADC001-0000-4000-8000-000000000001}\ProxyStubClsid32]
@="{C0ADD0FE-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Interface\{C0ADC001-0000-4000-8000-000000000001}\TypeLib]
@="{C0ADB0FF-0000-4000-8000-000000000001}"
"Version"="1.0"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Interface\{C0ADC001-0000-4000-8000-000000000001}\OLEViewerIViewerCLSID]
@="{C0ADD0FD-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\Interface\{C0ADC002-0000-4000-8000-000000000001}\ProxyStubClsid32]
@="{C0ADD0FC-0000-4000-8000-000000000001}"
)",
       {},
       {{11,
         "HKEY_CLASSES_ROOT\\Interface\\{C0ADC001-0000-4000-8000-000000000001}\\ProxyStubClsid",
         "",
         "{C0ADD0FF-0000-4000-8000-000000000001}",
         0,
         {"IGone"}},
        {11,
         "HKEY_CLASSES_ROOT\\Interface\\{C0ADC001-0000-4000-8000-000000000001}\\ProxyStubClsid32",
         "",
         "{C0ADD0FE-0000-4000-8000-000000000001}",
         0,
         {"IGone"}},
        {12,
         "HKEY_CLASSES_ROOT\\Interface\\{C0ADC001-0000-4000-8000-000000000001}\\TypeLib",
         "",
         "{C0ADB0FF-0000-4000-8000-000000000001}",
         0,
         {"IGone"}},
        {11,
         "HKEY_CLASSES_ROOT\\Interface\\{C0ADC001-0000-4000-8000-000000000001}\\"
         "OLEViewerIViewerCLSID",
         "",
         "{C0ADD0FD-0000-4000-8000-000000000001}",
         0,
         {"IGone"}},
        {11,
         "HKEY_CLASSES_ROOT\\Interface\\{C0ADC002-0000-4000-8000-000000000001}\\ProxyStubClsid32",
         "",
         "{C0ADD0FC-0000-4000-8000-000000000001}",
         1,
         {""}}}},

      {"a registration present in only one view is not missing",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0AE0001-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Windows\\System32\\native.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0AE0002-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Windows\\System32\\wow.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0AE0003-0000-4000-8000-000000000001}\ShellEx\ContextMenuHandlers\{C0AE0002-0000-4000-8000-000000000001}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0AE0004-0000-4000-8000-000000000001}\ShellEx\ContextMenuHandlers\Bridge]
@="{C0AE0001-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Interface\{C0AEC001-0000-4000-8000-000000000001}\ProxyStubClsid32]
@="{C0AE0002-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\Interface\{C0AEC002-0000-4000-8000-000000000001}\ProxyStubClsid32]
@="{C0AE0001-0000-4000-8000-000000000001}"
)",
       {"C:\\Windows\\System32\\native.dll", "C:\\Windows\\SysWOW64\\wow.dll"},
       {}},

      // A finding is only made where the key could be repaired.
      {"a server key that may not be opened for writing is not examined",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0AF0001-0000-4000-8000-000000000001}]
@="Locked"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0AF0001-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Program Files\\Gone\\locked.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0AF0001-0000-4000-8000-000000000001}\LocalServer32]
@="C:\\Program Files\\Gone\\locked.exe"
)",
       {},
       {{0,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0AF0001-0000-4000-8000-000000000001}\\LocalServer32",
         "",
         "C:\\Program Files\\Gone\\locked.exe",
         0,
         {"Locked", "LocalServer32"}}},
       Arch::x64,
       true,
       true,
       {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C0AF0001-0000-4000-8000-000000000001}\\"
        "InprocServer32"}},

      // Without elevation the machine's classes do not open for writing: only the user's own
      // registrations are examined, and a machine registration they name is not missing.
      {"without elevation only the user's own classes are examined",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0B00001-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Program Files\\Gone\\machine.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0B0B001-0000-4000-8000-000000000001}\1.0\0\win32]
@="C:\\Windows\\System32\\oleaut32.dll"
[HKEY_CURRENT_USER\Software\Classes\CLSID\{C0B00002-0000-4000-8000-000000000001}]
@="Mine"
[HKEY_CURRENT_USER\Software\Classes\CLSID\{C0B00002-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Users\\Alice\\AppData\\Local\\Gone\\mine.dll"
[HKEY_CURRENT_USER\Software\Classes\CLSID\{C0B00002-0000-4000-8000-000000000001}\TypeLib]
@="{C0B0B001-0000-4000-8000-000000000001}"
)",
       {},
       {{0,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0B00002-0000-4000-8000-000000000001}\\InprocServer32",
         "",
         "C:\\Users\\Alice\\AppData\\Local\\Gone\\mine.dll",
         0,
         {"Mine", "InprocServer32"}}},
       Arch::x64,
       false},

      // 32-bit Windows: one pass, no view bits, no \win64 entries.
      {"32-bit Windows walks once",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0B10001-0000-4000-8000-000000000001}]
@="Gone Viewer"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0B10001-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Program Files\\Gone\\viewer.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AppID\goneagent.exe]
"AppID"="{C0B1A0FF-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0B1B001-0000-4000-8000-000000000001}\1.0\0\win32]
@="C:\\Program Files\\Gone\\gone.tlb"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\TypeLib\{C0B1B001-0000-4000-8000-000000000001}\1.0\0\win64]
@="C:\\Program Files\\Gone\\gone64.tlb"
)",
       {},
       {{0,
         "HKEY_CLASSES_ROOT\\CLSID\\{C0B10001-0000-4000-8000-000000000001}\\InprocServer32",
         "",
         "C:\\Program Files\\Gone\\viewer.dll",
         0,
         {"Gone Viewer", "InprocServer32"}},
        {6,
         "HKEY_CLASSES_ROOT\\AppID\\goneagent.exe",
         "AppID",
         "{C0B1A0FF-0000-4000-8000-000000000001}",
         0,
         {"goneagent.exe"}},
        {7,
         "HKEY_CLASSES_ROOT\\TypeLib\\{C0B1B001-0000-4000-8000-000000000001}\\1.0\\0\\win32",
         "",
         "C:\\Program Files\\Gone\\gone.tlb",
         0,
         {"", "1.0\\0\\win32"}}},
       Arch::x86},
  };
  return cases;
}

TEST(ActiveX, FindsEachKindOfLeftoverOnItsOwnMachine) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Sorted(ScanCase(c)), Sorted(c.expected));
  }
}

// As administrator the problem gate creates a finding's key when it cannot open it; a finding
// must therefore never name a key that does not exist.
TEST(ActiveX, SharedAppIdEntryLeavesNoKeyBehindInTheOtherView) {
  FixtureMachine machine;
  machine.Reg(kBaseline).Reg(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AppID\goneagent.exe]
"AppID"="{C0ABA0FF-0000-4000-8000-000000000001}"
)");
  ScanSession session(machine);
  auto category = session.Make<CActiveX>();
  EXPECT_EQ(category->Scan(), 1);
  EXPECT_EQ(category->ProblemCount(), 2u);
  platform::HKEY key = platform::kNullKey;
  EXPECT_EQ(
      session.Process().Registry().RegOpenKeyExW(
          platform::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Wow6432Node\\AppID\\goneagent.exe", 0,
          platform::KEY_READ | platform::KEY_WOW64_64KEY, &key),
      platform::ERROR_FILE_NOT_FOUND);
}

// Empty server, ProgID and toolbox-bitmap keys in both views. The skip-empty-keys setting spares
// the server and ProgID keys of the 32-bit pass but only the toolbox-bitmap keys of the native
// pass.
constexpr const char* kEmptyKeysInBothViews = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0C00001-0000-4000-8000-000000000001}]
@="Native"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0C00001-0000-4000-8000-000000000001}\InprocServer32]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0C00001-0000-4000-8000-000000000001}\ProgID]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0C00001-0000-4000-8000-000000000001}\ToolboxBitmap32]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0C00002-0000-4000-8000-000000000001}]
@="Wow"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0C00002-0000-4000-8000-000000000001}\InprocServer32]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0C00002-0000-4000-8000-000000000001}\ProgID]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0C00002-0000-4000-8000-000000000001}\ToolboxBitmap32]
)";

Finding EmptyKey(const char* cls, const char* kind, const char* description, int is32) {
  return {1,    std::string("HKEY_CLASSES_ROOT\\CLSID\\") + cls + "\\" + kind,
          "",   "",
          is32, {description, kind}};
}

TEST(ActiveX, EmptyKeySettingSparesDifferentKeysInEachPass) {
  constexpr const char* kNative = "{C0C00001-0000-4000-8000-000000000001}";
  constexpr const char* kWow = "{C0C00002-0000-4000-8000-000000000001}";
  Case on{"setting on", kEmptyKeysInBothViews, {}, {}};
  on.expected = {EmptyKey(kNative, "InprocServer32", "Native", 0),
                 EmptyKey(kNative, "ProgID", "Native", 0),
                 EmptyKey(kWow, "ToolboxBitmap32", "Wow", 1)};
  EXPECT_EQ(Sorted(ScanCase(on)), Sorted(on.expected));

  Case off = on;
  off.name = "setting off";
  off.skipEmptyKeys = false;
  off.expected = {EmptyKey(kNative, "InprocServer32", "Native", 0),
                  EmptyKey(kNative, "ProgID", "Native", 0),
                  EmptyKey(kNative, "ToolboxBitmap32", "Native", 0),
                  EmptyKey(kWow, "InprocServer32", "Wow", 1),
                  EmptyKey(kWow, "ProgID", "Wow", 1),
                  EmptyKey(kWow, "ToolboxBitmap32", "Wow", 1)};
  EXPECT_EQ(Sorted(ScanCase(off)), Sorted(off.expected));
}

// Two leftovers in the native view found in the order "Zeta", "Alpha", one in the 32-bit view.
constexpr const char* kThreeLeftovers = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0D00001-0000-4000-8000-000000000001}]
@="Zeta Gone"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0D00001-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Program Files\\Gone\\zeta.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0D00002-0000-4000-8000-000000000001}]
@="Alpha Gone"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C0D00002-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Program Files\\Gone\\alpha.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0D00003-0000-4000-8000-000000000001}]
@="Middle Gone"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{C0D00003-0000-4000-8000-000000000001}\InprocServer32]
@="C:\\Program Files (x86)\\Gone\\middle.dll"
)";

std::vector<std::string> Descriptions(const CActiveX& category) {
  std::vector<std::string> out;
  for (const auto& p : category.Problems()) {
    out.push_back(Utf16ToUtf8(p->DisplayLine(0)) + (p->Is32BitEntry ? " (32)" : ""));
  }
  return out;
}

TEST(ActiveX, CompletedScanSortsByDescription) {
  FixtureMachine machine;
  machine.Reg(kBaseline).Reg(kThreeLeftovers);
  ScanSession session(machine);
  auto category = session.Make<CActiveX>();
  EXPECT_EQ(category->Scan(), 1);
  EXPECT_EQ(Descriptions(*category),
            (std::vector<std::string>{"Alpha Gone", "Middle Gone (32)", "Zeta Gone"}));
}

TEST(ActiveX, StopDuringNativePassSkipsTheOtherViewAndTheSort) {
  FixtureMachine machine;
  machine.Reg(kBaseline).Reg(kThreeLeftovers);
  ScanSession session(machine);
  auto category = session.Make<CActiveX>();
  int accepted = 0;
  session.onProblem = [&] {
    if (++accepted == 2) session.stopEvent.Set();
  };
  EXPECT_EQ(category->Scan(), CActiveX::kStopped);
  EXPECT_EQ(Descriptions(*category), (std::vector<std::string>{"Zeta Gone", "Alpha Gone"}));
}

TEST(ActiveX, StopBeforeTheScanFindsNothing) {
  FixtureMachine machine;
  machine.Reg(kBaseline).Reg(kThreeLeftovers);
  ScanSession session(machine);
  auto category = session.Make<CActiveX>();
  session.stopEvent.Set();
  EXPECT_EQ(category->Scan(), CActiveX::kStopped);
  EXPECT_EQ(category->ProblemCount(), 0u);
}

class StatusRecorder : public engine::IMessageTarget {
 public:
  explicit StatusRecorder(const engine::EngineContext& ctx) : ctx_(ctx) {}
  void Send(std::uint32_t, std::uintptr_t, std::intptr_t) override {}
  void Post(std::uint32_t msg, std::uintptr_t, std::intptr_t) override {
    if (msg != engine::kMsgStatusText) return;
    std::lock_guard lock(mutex_);
    texts_.push_back(Utf16ToUtf8(ctx_.CopyStatusText()));
  }
  std::vector<std::string> Texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  const engine::EngineContext& ctx_;
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
};

// Thirty healthy entries of each sweep in each view: every stretch of 27 status calls shows one.
std::string ManyHealthyEntries() {
  std::string reg;
  char guid[64];
  for (int i = 0; i < 30; ++i) {
    for (const char* branch : {"", "\\Wow6432Node"}) {
      std::snprintf(guid, sizeof guid, "{C0E%s%04d-0000-4000-8000-000000000001}",
                    *branch ? "1" : "0", i);
      reg += std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes") + branch + "\\CLSID\\" + guid +
             "\\InprocServer32]\n@=\"C:\\\\Windows\\\\System32\\\\oleaut32.dll\"\n";
      reg += std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes") + branch + "\\Interface\\" +
             guid + "]\n@=\"IHealthy\"\n";
    }
    std::snprintf(guid, sizeof guid, "{C0E2%04d-0000-4000-8000-000000000001}", i);
    reg += std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\TypeLib\\") + guid + "\\1.0]\n";
    reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\AppID\\healthy" + std::to_string(i) + ".exe]\n";
  }
  return reg;
}

TEST(ActiveX, StatusLineNamesTheSweepAndTheView) {
  FixtureMachine machine;
  machine.Reg(kBaseline).Reg(ManyHealthyEntries());
  ScanSession session(machine);
  StatusRecorder recorder(session.Context());
  session.Context().SetMainWindow(&recorder);
  auto category = session.Make<CActiveX>();
  EXPECT_EQ(category->Scan(), 1);
  EXPECT_EQ(category->ProblemCount(), 0u);

  const std::vector<std::string> texts = recorder.Texts();
  for (std::string prefix : {"CLSID: {", "APPID: HEALTHY", "TYPELIB: {", "INTERFACE: {"}) {
    for (std::string view : {"", "WOW6432NODE\\"}) {
      const std::string expected = view + prefix;
      EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const std::string& t) {
        return ToUpper(Utf8ToUtf16(t)).starts_with(Utf8ToUtf16(expected));
      })) << expected;
    }
  }
}

}  // namespace
}  // namespace bc::categories
