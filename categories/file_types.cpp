#include "categories/file_types.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "engine/context.h"
#include "engine/file_refs.h"
#include "engine/reg_keys.h"
#include "engine/reg_paths.h"
#include "platform/registry.h"

namespace bc::categories {

namespace {

using engine::OpenedKey;
using engine::RegView;
using platform::DWORD;
using platform::LSTATUS;
using platform::REGSAM;

constexpr platform::HKEY kRoot = platform::HKEY_CLASSES_ROOT;
constexpr std::u16string_view kRootPrefix = u"HKEY_CLASSES_ROOT\\";
constexpr std::u16string_view kStatusPrefix = u"File Type: ";

constexpr std::int32_t kTypeNotRegistered = 15;
constexpr std::int32_t kEmptyTypeKey = 16;
constexpr std::int32_t kIconFileMissing = 17;
constexpr std::int32_t kIconEmpty = 18;
constexpr std::int32_t kClassMissing = 19;
constexpr std::int32_t kHandlerUnreadable = 20;
constexpr std::int32_t kCommandMissing = 21;
constexpr std::int32_t kVerbWithoutCommand = 22;

// MUIVerb is read into a buffer of this many characters; a longer text does not read.
constexpr DWORD kMuiVerbChars = 259;

// How the three walks differ.
struct PassTraits {
  REGSAM viewBits;       // added to every open of the walk
  RegView view;          // view of string reads
  bool windows32;        // 32-bit Windows: one open decides existence; extra empty-key reports
  bool emptyKeyUse64;    // view argument of CheckEmptyKey
  std::int32_t is32Bit;  // Is32BitEntry of the findings
};

constexpr PassTraits kWindows32Pass{0, RegView::kNone, true, false, 0};
constexpr PassTraits kNativePass{platform::KEY_WOW64_64KEY, RegView::kNative, false, true, 0};
constexpr PassTraits kWow6432Pass{platform::KEY_WOW64_32KEY, RegView::kWow6432, false, false, 1};

bool IsGuidShaped(std::u16string_view text) {
  return !text.empty() && (text.front() == u'{' || text.back() == u'}');
}

// Trims in place, keeping the buffer.
void TrimInPlace(std::u16string& text) {
  const std::u16string_view trimmed = TrimView(text);
  if (trimmed.size() == text.size()) return;
  const std::size_t start = static_cast<std::size_t>(trimmed.data() - text.data());
  text.erase(0, start);
  text.resize(trimmed.size());
}

std::u16string Capitalized(std::u16string_view name) {
  std::u16string text(name);
  if (!text.empty()) text[0] = ToUpper(text[0]);
  return text;
}

// ".ABC file (*.abc)"
std::u16string ExtensionLabel(std::u16string_view extension) {
  std::u16string label = ToUpper(extension);
  label += u" file (*";
  label += extension;
  label += u')';
  return label;
}

std::u16string FullKey(std::u16string_view subKey) {
  std::u16string key(kRootPrefix);
  key += subKey;
  return key;
}

// One walk over the type names of HKEY_CLASSES_ROOT in one view. Buffers are kept across type
// names so that examining a key allocates little.
class TypeWalk {
 public:
  TypeWalk(CFileTypes& category, engine::CFileReferences& fileRefs, const PassTraits& pass)
      : cat_(category),
        ctx_(category.Context()),
        reg_(ctx_.Registry()),
        fileRefs_(fileRefs),
        pass_(pass),
        skipEmptyKeys_(!ctx_.hooks.skipEmptyKeys || ctx_.hooks.skipEmptyKeys()),
        delegateExecute_(ctx_.Facts().windowsMajorVersion > 5) {}

  int Run() {
    {
      OpenedKey root(reg_);
      if (engine::OpenKey(engine::kReadAccess | pass_.viewBits, u"", kRoot, root) !=
          platform::ERROR_SUCCESS) {
        return 1;
      }
      engine::EnumSubkeys(ctx_, root.get(), typeNames_);
    }
    for (const std::u16string& name : typeNames_) {
      if (cat_.IsStopRequested()) return engine::CCategory::kStopped;
      if (name.empty()) continue;  // only a damaged hive has one
      status_.assign(kStatusPrefix);
      status_ += name;
      cat_.ReportStatus(status_, false);
      type_ = name;
      haveDescription_ = false;
      if (name.front() == u'.') {
        ExtensionSteps();
      } else {
        ProgIdSteps();
      }
    }
    return 1;
  }

 private:
  LSTATUS WriteOpen(std::u16string_view subKey, OpenedKey& key) {
    return engine::OpenKey(engine::kWriteAccess | pass_.viewBits, subKey, kRoot, key);
  }

  // A registration is missing only when it opens in no view and no open was merely denied.
  bool IsMissing(std::u16string_view subKey) {
    const auto absent = [&](REGSAM viewBits) {
      OpenedKey key(reg_);
      const LSTATUS status = engine::OpenKey(engine::kWriteAccess | viewBits, subKey, kRoot, key);
      return status != platform::ERROR_SUCCESS && status != platform::ERROR_ACCESS_DENIED;
    };
    if (pass_.windows32) return absent(0);
    return absent(platform::KEY_WOW64_64KEY) && absent(platform::KEY_WOW64_32KEY);
  }

  bool ClassMissing(std::u16string_view classId) {
    scratchPath_.assign(u"CLSID\\");
    scratchPath_ += classId;
    return IsMissing(scratchPath_);
  }

  // The default value of a key opened for writing, as a string read gives it.
  void ReadDefault(const OpenedKey& key, std::u16string& text) {
    engine::QueryStringValue(reg_, key.get(), u"", &text);
    TrimInPlace(text);
  }

  // The type description: the type key's default value.
  const std::u16string& Description() {
    if (!haveDescription_) {
      engine::ReadStringValue(ctx_, kRoot, type_, u"", pass_.view, &description_);
      haveDescription_ = true;
    }
    return description_;
  }
  const std::u16string& DescriptionOrName() {
    const std::u16string& description = Description();
    return description.empty() ? type_ : description;
  }

  int Report(std::int32_t entryType, std::u16string_view subKey, std::u16string_view data) {
    return cat_.AddProblem(entryType, FullKey(subKey), u"", std::u16string(data), u"",
                           pass_.is32Bit);
  }

  void ExtensionSteps() {
    {
      OpenedKey key(reg_);
      if (WriteOpen(type_, key) != platform::ERROR_SUCCESS) return;
      ReadDefault(key, description_);
      haveDescription_ = true;
      const std::u16string& progId = description_;
      if (!progId.empty()) {
        if (IsMissing(progId)) {
          const int index = Report(kTypeNotRegistered, type_, progId);
          if (index >= 0) {
            cat_.AddProblemText(ExtensionLabel(type_), index);
            cat_.AddProblemText(type_, index);
            cat_.AddProblemText(FullKey(progId), index);
          }
        }
      } else {
        const bool hasSubkeys = engine::EnumSubkeys(ctx_, key.get(), names_);
        const std::size_t values = engine::EnumValueNames(ctx_, key.get(), names_);
        if (!hasSubkeys && values == 0) {
          if (!skipEmptyKeys_) {
            const int index = Report(kEmptyTypeKey, type_, u"");
            if (index >= 0) cat_.AddProblemText(ExtensionLabel(type_), index);
          }
          return;
        }
      }
    }
    ClassStep(false);
    VerbSteps(false);
    DefaultIconCheck();
    ContextMenuHandlers();
  }

  void ProgIdSteps() {
    {
      OpenedKey key(reg_);
      if (WriteOpen(type_, key) == platform::ERROR_SUCCESS) {
        ReadDefault(key, description_);
        haveDescription_ = true;
        if (description_.empty() && !skipEmptyKeys_ &&
            !engine::EnumSubkeys(ctx_, key.get(), names_) &&
            engine::EnumNamedValues(ctx_, key.get(), names_) == 0) {
          const int index = Report(kEmptyTypeKey, type_, u"");
          if (index >= 0) cat_.AddProblemText(ToUpper(type_), index);
        }
      }
    }
    ClassStep(true);
    VerbSteps(true);
    DefaultIconCheck();
    ContextMenuHandlers();
  }

  void ClassStep(bool progId) {
    classPath_.assign(type_);
    classPath_ += u"\\CLSID";
    OpenedKey key(reg_);
    if (WriteOpen(classPath_, key) != platform::ERROR_SUCCESS) return;
    ReadDefault(key, value_);
    if (!value_.empty()) {
      if (IsGuidShaped(value_) && ClassMissing(value_)) {
        const int index = Report(kClassMissing, classPath_, value_);
        if (index >= 0) {
          cat_.AddProblemText(DescriptionOrName(), index);
          cat_.AddProblemText(FullKey(scratchPath_), index);
        }
      }
      return;
    }
    // 32-bit Windows also reports a class key left empty; a programmatic identifier's whatever
    // the empty-key setting says.
    if (!pass_.windows32 || (!progId && skipEmptyKeys_)) return;
    if (engine::EnumSubkeys(ctx_, key.get(), names_)) return;
    if (engine::EnumNamedValues(ctx_, key.get(), names_) != 0) return;
    const int index = Report(kEmptyTypeKey, classPath_, u"");
    if (index >= 0) cat_.AddProblemText(ToUpper(type_), index);
  }

  void VerbSteps(bool progId) {
    shellPath_.assign(type_);
    shellPath_ += u"\\shell";
    {
      OpenedKey key(reg_);
      if (WriteOpen(shellPath_, key) != platform::ERROR_SUCCESS) return;
      engine::EnumSubkeys(ctx_, key.get(), verbs_);
    }
    if (verbs_.empty()) {
      if (!progId) {
        static const std::vector<std::u16string> kNoSkips;
        cat_.CheckEmptyKey(kRoot, shellPath_, pass_.emptyKeyUse64, kNoSkips, true);
      } else if (pass_.windows32) {
        const int index = Report(kVerbWithoutCommand, shellPath_, u"");
        if (index >= 0) {
          cat_.AddProblemText(DescriptionOrName(), index);
          cat_.AddProblemText(u"shell", index);
          cat_.AddProblemText(u"shell1", index);
        }
      }
      return;
    }
    for (const std::u16string& verb : verbs_) {
      commandPath_.assign(shellPath_);
      commandPath_ += u'\\';
      commandPath_ += verb;
      commandPath_ += u"\\command";
      VerbCommandCheck(verb);
    }
  }

  // commandPath_ is "<type>\shell\<verb>\command".
  void VerbCommandCheck(std::u16string_view verb) {
    OpenedKey key(reg_);
    const LSTATUS status = WriteOpen(commandPath_, key);
    if (status == platform::ERROR_ACCESS_DENIED) return;
    if (status != platform::ERROR_SUCCESS) {
      key.Close();
      VerbWithoutCommand(verb);
      return;
    }
    // Since Vista a verb may be carried out by a COM object instead of a command line.
    if (delegateExecute_) {
      engine::QueryStringValue(reg_, key.get(), u"DelegateExecute", &value_);
      if (!TrimView(value_).empty()) return;
    }
    ReadDefault(key, value_);
    key.Close();
    if (!value_.empty()) {
      const std::u16string path = fileRefs_.ExtractFilePath(value_);
      if (path.starts_with(u"%1")) return;
      if (fileRefs_.FileReferenceIsValid(cat_, path, engine::kCheckCommon) != 0) return;
    }
    const int index = Report(kCommandMissing, commandPath_, value_);
    if (index >= 0) {
      cat_.AddProblemText(DescriptionOrName(), index);
      cat_.AddProblemText(Capitalized(verb), index);
    }
  }

  // The command key of a verb does not exist.
  void VerbWithoutCommand(std::u16string_view verb) {
    const std::u16string_view verbPath =
        std::u16string_view(commandPath_).substr(0, commandPath_.rfind(u'\\'));
    OpenedKey key(reg_);
    if (WriteOpen(verbPath, key) != platform::ERROR_SUCCESS) return;
    // A verb key with sub-keys (a drop target, say) is left alone.
    if (engine::EnumSubkeys(ctx_, key.get(), names_)) return;
    if (ReadMuiVerb(key) && !value_.empty() &&
        fileRefs_.FileReferenceIsValid(cat_, value_, engine::kCheckCommon) != 0) {
      return;
    }
    if (skipEmptyKeys_) return;
    const int index = Report(kVerbWithoutCommand, verbPath, u"");
    if (index >= 0) {
      cat_.AddProblemText(DescriptionOrName(), index);
      cat_.AddProblemText(Capitalized(verb), index);
      cat_.AddProblemText(Capitalized(engine::LeafName(commandPath_)), index);
    }
  }

  // The verb's "MUIVerb" text, as a fixed buffer of kMuiVerbChars characters takes it.
  bool ReadMuiVerb(const OpenedKey& key) {
    value_.clear();
    DWORD type = 0;
    DWORD size = 0;
    if (reg_.RegQueryValueExW(key.get(), u"MUIVerb", &type, nullptr, &size) !=
            platform::ERROR_SUCCESS ||
        size > kMuiVerbChars * sizeof(char16_t)) {
      return false;
    }
    return engine::QueryStringValue(reg_, key.get(), u"MUIVerb", &value_);
  }

  void DefaultIconCheck() {
    iconPath_.assign(type_);
    iconPath_ += u"\\DefaultIcon";
    {
      OpenedKey key(reg_);
      if (WriteOpen(iconPath_, key) != platform::ERROR_SUCCESS) return;
      ReadDefault(key, value_);
    }
    if (value_.empty()) {
      const int index = Report(kIconEmpty, iconPath_, u"");
      if (index >= 0) cat_.AddProblemText(DescriptionOrName(), index);
      return;
    }
    const std::u16string path = fileRefs_.ExtractFilePath(value_);
    if (path == u"%1") return;
    if (fileRefs_.FileReferenceIsValid(cat_, path, engine::kCheckCommon) != 0) return;
    // Both walks of 64-bit Windows reach the same key text; report it once.
    if (cat_.HasProblem(FullKey(iconPath_), kIconFileMissing)) return;
    const int index = Report(kIconFileMissing, iconPath_, value_);
    if (index >= 0) cat_.AddProblemText(DescriptionOrName(), index);
  }

  void ContextMenuHandlers() {
    handlersPath_.assign(type_);
    handlersPath_ += u"\\ShellEx\\ContextMenuHandlers";
    {
      OpenedKey key(reg_);
      if (WriteOpen(handlersPath_, key) != platform::ERROR_SUCCESS) return;
      engine::EnumSubkeys(ctx_, key.get(), handlers_);
    }
    for (const std::u16string& handler : handlers_) {
      // Handlers named by their class identifier belong to the COM category.
      if (!handler.empty() && handler.front() == u'{') continue;
      handlerPath_.assign(handlersPath_);
      handlerPath_ += u'\\';
      handlerPath_ += handler;
      if (!engine::ReadStringValue(ctx_, kRoot, handlerPath_, u"", pass_.view, &value_)) {
        const int index = Report(kHandlerUnreadable, handlerPath_, u"");
        if (index >= 0) cat_.AddProblemText(DescriptionOrName(), index);
        continue;
      }
      if (!IsGuidShaped(value_) || !ClassMissing(value_)) continue;
      const int index = Report(kClassMissing, handlerPath_, value_);
      if (index >= 0) {
        cat_.AddProblemText(DescriptionOrName(), index);
        cat_.AddProblemText(FullKey(scratchPath_), index);
      }
    }
  }

  CFileTypes& cat_;
  engine::EngineContext& ctx_;
  platform::IRegistry& reg_;
  engine::CFileReferences& fileRefs_;
  const PassTraits& pass_;
  const bool skipEmptyKeys_;
  const bool delegateExecute_;

  std::vector<std::u16string> typeNames_;
  std::vector<std::u16string> verbs_;
  std::vector<std::u16string> handlers_;
  std::vector<std::u16string> names_;  // counts only
  std::u16string status_;
  std::u16string type_;
  std::u16string description_;
  bool haveDescription_ = false;
  std::u16string value_;
  std::u16string classPath_;
  std::u16string shellPath_;
  std::u16string commandPath_;
  std::u16string iconPath_;
  std::u16string handlersPath_;
  std::u16string handlerPath_;
  std::u16string scratchPath_;  // the registration the last existence test looked for
};

}  // namespace

CFileTypes::CFileTypes(engine::EngineContext& ctx, engine::CFileReferences& fileRefs)
    : CCategory(ctx), fileRefs_(fileRefs) {}

int CFileTypes::Scan() {
  Prepare();
  if (engine::IsWow64(Context())) {
    if (ScanNative() == kStopped) return kStopped;
    if (ScanWow6432Node() == kStopped) return kStopped;
  } else if (TypeWalk(*this, fileRefs_, kWindows32Pass).Run() == kStopped) {
    return kStopped;
  }
  SortProblems();
  return IsStopRequested() ? kStopped : 1;
}

int CFileTypes::ScanWow6432Node() {
  return TypeWalk(*this, fileRefs_, kWow6432Pass).Run();
}

int CFileTypes::ScanNative() {
  return TypeWalk(*this, fileRefs_, kNativePass).Run();
}

}  // namespace bc::categories
