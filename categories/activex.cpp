#include "categories/activex.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "engine/context.h"
#include "engine/file_refs.h"
#include "engine/reg_keys.h"
#include "engine/reg_paths.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace bc::categories {

namespace {

using engine::FileCheckFlags;
using engine::OpenedKey;
using platform::DWORD;
using platform::HKEY;
using platform::LSTATUS;
using platform::REGSAM;

// Entry types this category reports.
constexpr std::int32_t kServerFileMissing = 0;
constexpr std::int32_t kEmptyKey = 1;
constexpr std::int32_t kClassAppIdMissing = 2;
constexpr std::int32_t kClassTypeLibMissing = 3;
constexpr std::int32_t kDefaultIconEmpty = 4;
constexpr std::int32_t kHandlerClassMissing = 5;
constexpr std::int32_t kAppIdMissing = 6;
constexpr std::int32_t kTypeLibFileMissing = 7;
constexpr std::int32_t kHelpDirEmpty = 8;
constexpr std::int32_t kTypeLibPathEmpty = 9;
constexpr std::int32_t kHelpDirMissing = 10;
constexpr std::int32_t kInterfaceClassMissing = 11;
constexpr std::int32_t kInterfaceTypeLibMissing = 12;
constexpr std::int32_t kToolboxBitmapMissing = 42;

constexpr std::array<std::u16string_view, 6> kServerKinds{
    u"InprocServer32", u"InprocServer",    u"LocalServer32",
    u"LocalServer",    u"InprocHandler32", u"InprocHandler",
};
constexpr std::u16string_view kInprocServer32 = u"InprocServer32";

constexpr std::u16string_view kTypeLibReference = u"TypeLib";
constexpr std::array<std::u16string_view, 4> kInterfaceReferences{
    u"ProxyStubClsid",
    u"ProxyStubClsid32",
    kTypeLibReference,
    u"OLEViewerIViewerCLSID",
};

constexpr std::u16string_view kRootPrefix = u"HKEY_CLASSES_ROOT\\";
constexpr std::u16string_view kWowPrefix = u"Wow6432Node\\";
constexpr std::u16string_view kProgId = u"ProgID";
constexpr std::u16string_view kToolboxBitmap = u"ToolboxBitmap32";

// Values read "into a 260-character buffer": longer data does not fit and counts as unreadable.
constexpr DWORD kFixedBufferChars = 260;

struct Pass {
  REGSAM viewBits = 0;    // on every open and read of the pass
  bool win64 = false;     // 64-bit Windows: both views decide existence, \win64 is examined
  bool native64 = false;  // the native pass of 64-bit Windows
  bool wowPass = false;   // the Wow6432Node pass of 64-bit Windows
  // CheckEmptyKey's view argument.
  bool emptyKeyUses64BitView = false;
  // Which empty-key reports the skip-empty-keys setting suppresses in this pass.
  bool settingSkipsServerAndProgId = false;
  bool settingSkipsToolbox = false;

  std::u16string_view StatusPrefix() const { return wowPass ? kWowPrefix : std::u16string_view(); }
  std::int32_t Is32BitEntry() const { return wowPass ? 1 : 0; }
};

bool IsGuidShaped(std::u16string_view text) {
  return !text.empty() && (text.front() == u'{' || text.back() == u'}');
}

// One scan: the passes, the sweeps and the scratch buffers they reuse from key to key.
class ActiveXWalk {
 public:
  ActiveXWalk(CActiveX& category, engine::CFileReferences& fileRefs)
      : cat_(category),
        ctx_(category.Context()),
        reg_(ctx_.Registry()),
        files_(ctx_.Platform().Files()),
        fileRefs_(fileRefs),
        valueBuffer_(kFixedBufferChars + 1) {
    skipEmptyKeys_ = !ctx_.hooks.skipEmptyKeys || ctx_.hooks.skipEmptyKeys();
  }

  int Run() {
    if (!engine::IsWow64(ctx_)) {
      Pass only;
      only.settingSkipsServerAndProgId = true;
      if (!RunPass(only)) return CActiveX::kStopped;
    } else {
      Pass native;
      native.viewBits = platform::KEY_WOW64_64KEY;
      native.win64 = true;
      native.native64 = true;
      native.emptyKeyUses64BitView = true;
      native.settingSkipsToolbox = true;
      if (!RunPass(native)) return CActiveX::kStopped;
      if (cat_.IsStopRequested()) return CActiveX::kStopped;

      Pass wow;
      wow.viewBits = platform::KEY_WOW64_32KEY;
      wow.win64 = true;
      wow.wowPass = true;
      wow.settingSkipsServerAndProgId = true;
      if (!RunPass(wow)) return CActiveX::kStopped;
    }
    if (cat_.ProblemCount() > 1) cat_.SortProblems();
    return 1;
  }

 private:
  // Each sweep answers false when it stopped.
  bool RunPass(const Pass& pass) {
    pass_ = &pass;
    return SweepClasses() && SweepAppIds() && SweepTypeLibs() && SweepInterfaces();
  }

  // --- Class sweep ------------------------------------------------------------------------------

  bool SweepClasses() {
    EnumRoot(u"CLSID", classes_);
    for (const std::u16string& cls : classes_) {
      if (!CheckClass(cls)) return false;
    }
    return true;
  }

  bool CheckClass(const std::u16string& cls) {
    ShowStatus(u"CLSID: ", cls);
    classPath_.assign(u"CLSID\\").append(cls);

    // The class key: its description (readable even when writing is denied) and, when it opens
    // for writing, its AppID value.
    bool classReadable = false;
    bool classWritable = false;
    description_.clear();
    appId_.clear();
    {
      OpenedKey key(reg_);
      LSTATUS status = OpenWrite(classPath_, key);
      classWritable = status == platform::ERROR_SUCCESS;
      if (status == platform::ERROR_ACCESS_DENIED) status = OpenRead(classPath_, key);
      if (status == platform::ERROR_SUCCESS) {
        classReadable = true;
        ReadText(key.get(), u"", description_);
        if (classWritable) ReadText(key.get(), u"AppID", appId_);
      }
    }
    const std::u16string_view descriptionOrId = description_.empty() ? cls : description_;

    for (std::u16string_view kind : kServerKinds) {
      if (cat_.IsStopRequested()) return false;
      CheckServer(kind, descriptionOrId, classReadable);
    }

    if (classWritable && !appId_.empty()) {
      target_.assign(u"AppID\\").append(appId_);
      if (IsMissing(target_)) {
        Report(kClassAppIdMissing, ClassesKey(classPath_), u"AppID", appId_, {description_});
      }
    }

    CheckProgId(descriptionOrId);
    CheckClassTypeLib();
    CheckDefaultIcon(descriptionOrId);
    CheckContextMenuHandlers();
    CheckToolboxBitmap(descriptionOrId, classReadable);
    return true;
  }

  void CheckServer(std::u16string_view kind, std::u16string_view descriptionOrId,
                   bool classReadable) {
    subPath_.assign(classPath_).append(u"\\").append(kind);
    OpenedKey key(reg_);
    if (OpenWrite(subPath_, key) != platform::ERROR_SUCCESS) return;
    ReadText(key.get(), u"", value_);
    if (!value_.empty()) {
      // Only the native pass's in-process servers may legitimately live in the other program
      // folder: a 64-bit server registered by a 32-bit installer.
      const FileCheckFlags& flags = pass_->native64 && kind == kInprocServer32
                                        ? engine::kCheckInprocServerNative
                                        : engine::kCheckCommon;
      if (!fileRefs_.FileReferenceIsValid(cat_, value_, flags) && classReadable) {
        Report(kServerFileMissing, ClassesKey(subPath_), u"", value_, {descriptionOrId, kind});
      }
    } else if (IsEmptyKeyWithEmptyDefault(key.get()) &&
               !(skipEmptyKeys_ && pass_->settingSkipsServerAndProgId)) {
      Report(kEmptyKey, ClassesKey(subPath_), u"", u"", {descriptionOrId, kind});
    }
  }

  // The ProgID it names is not looked up: only an empty ProgID key is a finding.
  void CheckProgId(std::u16string_view descriptionOrId) {
    subPath_.assign(classPath_).append(u"\\ProgID");
    OpenedKey key(reg_);
    if (OpenWrite(subPath_, key) != platform::ERROR_SUCCESS) return;
    ReadText(key.get(), u"", value_);
    if (value_.empty() && IsEmptyKeyWithEmptyDefault(key.get()) &&
        !(skipEmptyKeys_ && pass_->settingSkipsServerAndProgId)) {
      Report(kEmptyKey, ClassesKey(subPath_), u"", u"", {descriptionOrId, kProgId});
    }
  }

  void CheckClassTypeLib() {
    subPath_.assign(classPath_).append(u"\\TypeLib");
    {
      OpenedKey key(reg_);
      if (OpenWrite(subPath_, key) != platform::ERROR_SUCCESS) return;
      ReadText(key.get(), u"", value_);
    }
    if (!IsGuidShaped(value_)) return;
    target_.assign(u"TypeLib\\").append(value_);
    if (IsMissing(target_)) {
      Report(kClassTypeLibMissing, ClassesKey(subPath_), u"", value_, {description_});
    }
  }

  // The icon path itself is not checked here.
  void CheckDefaultIcon(std::u16string_view descriptionOrId) {
    subPath_.assign(classPath_).append(u"\\DefaultIcon");
    OpenedKey key(reg_);
    if (OpenWrite(subPath_, key) != platform::ERROR_SUCCESS) return;
    ReadText(key.get(), u"", value_);
    if (value_.empty()) {
      Report(kDefaultIconEmpty, ClassesKey(subPath_), u"", u"", {descriptionOrId});
    }
  }

  void CheckContextMenuHandlers() {
    subPath_.assign(classPath_).append(u"\\ShellEx\\ContextMenuHandlers");
    {
      OpenedKey key(reg_);
      if (OpenWrite(subPath_, key) != platform::ERROR_SUCCESS) return;
      engine::EnumSubkeys(ctx_, key.get(), handlers_);
    }
    for (const std::u16string& name : handlers_) {
      if (!name.empty() && name.front() == u'{') {
        // The handler's sub-key is named by its class.
        target_.assign(u"CLSID\\").append(name);
        if (!IsMissing(target_)) continue;
        const std::u16string_view wow = WowPart();
        std::u16string key(kRootPrefix);
        key.append(wow).append(subPath_).append(u"\\").append(name);
        std::u16string classKey(kRootPrefix);
        classKey.append(wow).append(target_);
        Report(kHandlerClassMissing, std::move(key), u"", u"", {description_, classKey, name});
        continue;
      }
      // A handler under a plain name names its class in its default value.
      handlerPath_.assign(subPath_).append(u"\\").append(name);
      if (!StringRead(handlerPath_, u"", value_)) continue;
      if (value_.empty() || value_.front() != u'{') continue;
      target_.assign(u"CLSID\\").append(value_);
      if (!IsMissing(target_)) continue;
      Report(kHandlerClassMissing, ClassesKey(handlerPath_), u"", u"",
             {description_, ClassesKey(target_), value_});
    }
  }

  void CheckToolboxBitmap(std::u16string_view descriptionOrId, bool classReadable) {
    subPath_.assign(classPath_).append(u"\\ToolboxBitmap32");
    OpenedKey key(reg_);
    if (OpenWrite(subPath_, key) != platform::ERROR_SUCCESS) return;
    ReadText(key.get(), u"", value_);
    if (!value_.empty()) {
      if (!fileRefs_.FileReferenceIsValid(cat_, value_, engine::kCheckCommon) && classReadable) {
        Report(kToolboxBitmapMissing, ClassesKey(subPath_), u"", value_,
               {descriptionOrId, kToolboxBitmap});
      }
    } else if (IsEmptyKeyWithEmptyDefault(key.get()) &&
               !(skipEmptyKeys_ && pass_->settingSkipsToolbox) && classReadable) {
      Report(kEmptyKey, ClassesKey(subPath_), u"", u"", {descriptionOrId, kToolboxBitmap});
    }
  }

  // --- AppID sweep ------------------------------------------------------------------------------

  // Only entries named after an executable are examined; those named by an identifier are the
  // registrations the class sweep looks up.
  bool SweepAppIds() {
    EnumRoot(u"AppID", names_);
    for (const std::u16string& name : names_) {
      if (cat_.IsStopRequested()) return false;
      if (!name.empty() && name.front() == u'{') continue;
      ShowStatus(u"AppID: ", name);
      subPath_.assign(u"AppID\\").append(name);
      {
        OpenedKey key(reg_);
        if (OpenWrite(subPath_, key) != platform::ERROR_SUCCESS) continue;
        if (!ReadFixedText(key.get(), u"AppID", value_)) continue;
      }
      if (value_.empty()) continue;
      target_.assign(u"AppID\\").append(value_);
      if (!IsMissing(target_)) continue;
      Report(kAppIdMissing, AppIdEntryKey(), u"AppID", value_, {name});
    }
    return true;
  }

  // The AppID entry in subPath_ as a full path. The 32-bit pass names it under Wow6432Node where
  // the 32-bit view keeps its own AppID branch. Windows 7 shares that branch between the views:
  // there the entry has no key under Wow6432Node, and naming one would report a key that does
  // not exist (which the problem gate, as administrator, would even create), so the shared key
  // is named instead.
  std::u16string AppIdEntryKey() {
    std::u16string key(kRootPrefix);
    if (pass_->wowPass) {
      target_.assign(kWowPrefix).append(subPath_);
      HKEY handle = platform::kNullKey;
      const LSTATUS status = reg_.RegOpenKeyExW(platform::HKEY_CLASSES_ROOT, target_, 0,
                                                engine::kReadAccess | pass_->viewBits, &handle);
      if (status == platform::ERROR_SUCCESS) reg_.RegCloseKey(handle);
      if (status == platform::ERROR_SUCCESS || status == platform::ERROR_ACCESS_DENIED) {
        key.append(kWowPrefix);
      }
    }
    key.append(subPath_);
    return key;
  }

  // --- Type-library sweep -----------------------------------------------------------------------

  bool SweepTypeLibs() {
    EnumRoot(u"TypeLib", names_);
    for (const std::u16string& lib : names_) {
      ShowStatus(u"TypeLib: ", lib);
      libPath_.assign(u"TypeLib\\").append(lib);
      emptyKeyPath_.assign(libPath_).append(u"\\");
      cat_.CheckEmptyKey(platform::HKEY_CLASSES_ROOT, emptyKeyPath_, pass_->emptyKeyUses64BitView,
                         typeLibExclusions_, true);
      // Versions and locales are only walked through, like the sweep roots.
      if (!EnumKey(libPath_, versions_)) continue;
      for (const std::u16string& version : versions_) {
        if (!CheckTypeLibVersion(version)) return false;
      }
    }
    return true;
  }

  bool CheckTypeLibVersion(const std::u16string& version) {
    versionPath_.assign(libPath_).append(u"\\").append(version);
    libDescription_.clear();
    {
      OpenedKey key(reg_);
      if (OpenRead(versionPath_, key) != platform::ERROR_SUCCESS) return true;
      engine::EnumSubkeys(ctx_, key.get(), locales_);
      ReadText(key.get(), u"", libDescription_);
    }
    if (!CheckTypeLibFiles(version, u"win32")) return false;
    if (pass_->win64 && !CheckTypeLibFiles(version, u"win64")) return false;
    CheckHelpDir(version);
    return true;
  }

  bool CheckTypeLibFiles(std::u16string_view version, std::u16string_view platformName) {
    for (const std::u16string& locale : locales_) {
      if (cat_.IsStopRequested()) return false;
      subPath_.assign(versionPath_).append(u"\\").append(locale).append(u"\\").append(platformName);
      if (!StringRead(subPath_, u"", value_)) continue;
      std::u16string location(version);
      location.append(u"\\").append(locale).append(u"\\").append(platformName);
      if (value_.empty()) {
        Report(kTypeLibPathEmpty, ClassesKey(subPath_), u"", u"", {libDescription_, location});
        continue;
      }
      const std::u16string file = fileRefs_.ExtractFilePath(value_);
      if (FoundOnPath(file)) continue;
      if (!fileRefs_.FileReferenceIsValid(cat_, file, engine::kCheckCommon)) {
        Report(kTypeLibFileMissing, ClassesKey(subPath_), u"", value_, {libDescription_, location});
      }
    }
    return true;
  }

  void CheckHelpDir(std::u16string_view version) {
    subPath_.assign(versionPath_).append(u"\\HELPDIR");
    DWORD values = 0;
    {
      OpenedKey key(reg_);
      if (OpenWrite(subPath_, key) != platform::ERROR_SUCCESS) return;
      platform::RegKeyInfo info;
      if (reg_.RegQueryInfoKeyW(key.get(), &info) != platform::ERROR_SUCCESS) return;
      values = info.values;
      // Several values: not a plain help-folder key; leave it alone.
      if (values > 1) return;
      if (values == 1) ReadText(key.get(), u"", value_);
    }
    std::u16string location(version);
    location.append(u"\\HELPDIR");
    if (values == 0 || value_.empty()) {
      Report(kHelpDirEmpty, ClassesKey(subPath_), u"", u"", {libDescription_, location});
      return;
    }
    // The value is a folder, not a command line: "...\Vendor 1\Product 1" must not be cut at
    // its space before it is looked for.
    if (fileRefs_.NamesExistingFolder(value_)) return;
    const std::u16string folder = fileRefs_.ExtractFilePath(value_);
    if (fileRefs_.IsDirectory(folder)) return;
    if (!fileRefs_.FileReferenceIsValid(cat_, folder, engine::kCheckCommon)) {
      Report(kHelpDirMissing, ClassesKey(subPath_), u"", value_, {libDescription_, location});
    }
  }

  // --- Interface sweep --------------------------------------------------------------------------

  bool SweepInterfaces() {
    EnumRoot(u"Interface", names_);
    for (const std::u16string& iid : names_) {
      ShowStatus(u"Interface: ", iid);
      interfacePath_.assign(u"Interface\\").append(iid);
      if (!iid.empty()) {
        cat_.CheckEmptyKey(platform::HKEY_CLASSES_ROOT, interfacePath_,
                           pass_->emptyKeyUses64BitView, interfaceExclusions_, true);
      }
      for (std::u16string_view reference : kInterfaceReferences) {
        if (cat_.IsStopRequested()) return false;
        subPath_.assign(interfacePath_).append(u"\\").append(reference);
        {
          OpenedKey key(reg_);
          if (OpenWrite(subPath_, key) != platform::ERROR_SUCCESS) continue;
          if (!ReadFixedText(key.get(), u"", value_)) continue;
        }
        if (value_.empty()) continue;
        const bool typeLib = reference == kTypeLibReference;
        target_.assign(typeLib ? u"TypeLib\\" : u"CLSID\\").append(value_);
        if (!IsMissing(target_)) continue;
        Report(typeLib ? kInterfaceTypeLibMissing : kInterfaceClassMissing, ClassesKey(subPath_),
               u"", value_, {InterfaceName()});
      }
    }
    return true;
  }

  // The default value of the interface key; empty when the key does not open.
  std::u16string InterfaceName() {
    std::u16string name;
    OpenedKey key(reg_);
    LSTATUS status = OpenWrite(interfacePath_, key);
    if (status == platform::ERROR_ACCESS_DENIED) status = OpenRead(interfacePath_, key);
    if (status == platform::ERROR_SUCCESS) ReadFixedText(key.get(), u"", name);
    return name;
  }

  // --- Registry helpers ------------------------------------------------------------------------

  LSTATUS OpenWrite(std::u16string_view subKey, OpenedKey& key) {
    return engine::OpenKey(engine::kWriteAccess | pass_->viewBits, subKey,
                           platform::HKEY_CLASSES_ROOT, key);
  }
  LSTATUS OpenRead(std::u16string_view subKey, OpenedKey& key) {
    return engine::OpenKey(engine::kReadAccess | pass_->viewBits, subKey,
                           platform::HKEY_CLASSES_ROOT, key);
  }

  // Subkeys of a key opened for reading (the sweep roots, libraries, versions); empty when it
  // does not open.
  bool EnumKey(std::u16string_view subKey, std::vector<std::u16string>& list) {
    list.clear();
    OpenedKey key(reg_);
    if (OpenRead(subKey, key) != platform::ERROR_SUCCESS) return false;
    return engine::EnumSubkeys(ctx_, key.get(), list);
  }
  void EnumRoot(std::u16string_view root, std::vector<std::u16string>& list) {
    EnumKey(root, list);
  }

  // A value as text, trimmed; REG_SZ and REG_EXPAND_SZ only, anything else reads as empty.
  void ReadText(HKEY key, std::u16string_view name, std::u16string& text) {
    text.clear();
    for (int attempt = 0; attempt < 3; ++attempt) {
      DWORD type = 0;
      DWORD size = static_cast<DWORD>(valueBuffer_.size() * sizeof(char16_t));
      const LSTATUS status = reg_.RegQueryValueExW(
          key, name, &type, reinterpret_cast<std::uint8_t*>(valueBuffer_.data()), &size);
      if (status == platform::ERROR_MORE_DATA) {
        // The value is larger than the buffer (or grew since): make room and read again.
        valueBuffer_.resize(std::max<std::size_t>(valueBuffer_.size() * 2, size / 2 + 1));
        continue;
      }
      if (status != platform::ERROR_SUCCESS) return;
      if (type != platform::REG_SZ && type != platform::REG_EXPAND_SZ) return;
      std::u16string_view raw(valueBuffer_.data(),
                              std::min<std::size_t>(size / sizeof(char16_t), valueBuffer_.size()));
      raw = raw.substr(0, raw.find(u'\0'));
      text.assign(TrimView(raw));
      return;
    }
  }

  // A string value read into a 260-character buffer, cut at its first NUL and not trimmed.
  // False when it is missing, not text, or does not fit.
  bool ReadFixedText(HKEY key, std::u16string_view name, std::u16string& text) {
    text.clear();
    char16_t buffer[kFixedBufferChars];
    DWORD type = 0;
    DWORD size = sizeof buffer;
    if (reg_.RegQueryValueExW(key, name, &type, reinterpret_cast<std::uint8_t*>(buffer), &size) !=
        platform::ERROR_SUCCESS) {
      return false;
    }
    if (type != platform::REG_SZ && type != platform::REG_EXPAND_SZ) return false;
    std::u16string_view raw(buffer,
                            std::min<std::size_t>(size / sizeof(char16_t), kFixedBufferChars));
    text.assign(raw.substr(0, raw.find(u'\0')));
    return true;
  }

  // The string read: the key opens for writing, or for reading when writing is denied; true when
  // it opened, whether or not the value exists.
  bool StringRead(std::u16string_view subKey, std::u16string_view name, std::u16string& text) {
    text.clear();
    OpenedKey key(reg_);
    LSTATUS status = OpenWrite(subKey, key);
    if (status == platform::ERROR_ACCESS_DENIED) status = OpenRead(subKey, key);
    if (status != platform::ERROR_SUCCESS) return false;
    ReadText(key.get(), name, text);
    return true;
  }

  // For a key whose default value reads empty: no subkeys, and no value besides one that may be
  // there. A lone named value counts too, since it leaves the key without its default value.
  bool IsEmptyKeyWithEmptyDefault(HKEY key) {
    platform::RegKeyInfo info;
    if (reg_.RegQueryInfoKeyW(key, &info) != platform::ERROR_SUCCESS) return false;
    return info.subKeys == 0 && info.values <= 1;
  }

  // A registration is missing only when it opens in neither view, and never when an open was
  // refused: a key we may not open still exists.
  bool IsMissing(std::u16string_view subKey) {
    const auto failsIn = [&](REGSAM view) {
      HKEY handle = platform::kNullKey;
      const LSTATUS status = reg_.RegOpenKeyExW(platform::HKEY_CLASSES_ROOT, subKey, 0,
                                                engine::kWriteAccess | view, &handle);
      if (status == platform::ERROR_SUCCESS) {
        reg_.RegCloseKey(handle);
        return false;
      }
      return status != platform::ERROR_ACCESS_DENIED;
    };
    if (!pass_->win64) return failsIn(0);
    return failsIn(platform::KEY_WOW64_64KEY) && failsIn(platform::KEY_WOW64_32KEY);
  }

  // PathFindOnPathW with its 260-character buffer.
  bool FoundOnPath(std::u16string_view file) {
    if (file.empty() || file.size() >= kFixedBufferChars) return false;
    onPath_.assign(file);
    return files_.PathFindOnPathW(&onPath_, nullptr) != 0;
  }

  // --- Findings and status ----------------------------------------------------------------------

  std::u16string_view WowPart() const {
    return pass_->wowPass ? kWowPrefix : std::u16string_view();
  }

  static std::u16string ClassesKey(std::u16string_view subKey) {
    std::u16string key(kRootPrefix);
    key.append(subKey);
    return key;
  }

  void Report(std::int32_t entryType, std::u16string key, std::u16string_view valueName,
              std::u16string_view valueData, std::initializer_list<std::u16string_view> lines) {
    const int index =
        cat_.AddProblem(entryType, std::move(key), std::u16string(valueName),
                        std::u16string(valueData), std::u16string(), pass_->Is32BitEntry());
    if (index < 0) return;
    for (std::u16string_view line : lines) cat_.AddProblemText(std::u16string(line), index);
  }

  void ShowStatus(std::u16string_view what, std::u16string_view name) {
    status_.assign(pass_->StatusPrefix()).append(what).append(name);
    cat_.ReportStatus(status_, false);
  }

  CActiveX& cat_;
  engine::EngineContext& ctx_;
  platform::IRegistry& reg_;
  platform::IFileSystem& files_;
  engine::CFileReferences& fileRefs_;
  const Pass* pass_ = nullptr;
  bool skipEmptyKeys_ = true;

  const std::vector<std::u16string> typeLibExclusions_{u"\\win32", u"\\win64", u"\\helpdir"};
  const std::vector<std::u16string> interfaceExclusions_{u"\\proxystubclsid", u"\\proxystubclsid32",
                                                         u"\\typelib", u"OLEViewerIViewerCLSID"};

  // Reused from key to key.
  std::vector<char16_t> valueBuffer_;
  std::vector<std::u16string> classes_, names_, versions_, locales_, handlers_;
  std::u16string status_, classPath_, subPath_, handlerPath_, target_, libPath_, versionPath_,
      interfacePath_, emptyKeyPath_, onPath_;
  std::u16string value_, description_, appId_, libDescription_;
};

}  // namespace

CActiveX::CActiveX(engine::EngineContext& ctx, engine::CFileReferences& fileRefs)
    : CCategory(ctx), fileRefs_(fileRefs) {}

int CActiveX::Scan() {
  Prepare();
  ActiveXWalk walk(*this, fileRefs_);
  return walk.Run();
}

}  // namespace bc::categories
