// IShell of a simulated machine: special folders, shortcuts (read with liblnk), the recycle bin,
// and ShellExecuteW with its elevation prompt.
// liblnk's header pulls in libbfio's only for the bfio entry points, which are not used here.
#include <liblnk/features.h>
#undef LIBLNK_HAVE_BFIO
#include <liblnk.h>

#include <mutex>

#include "base/text.h"
#include "platform/path_string.h"
#include "platform/shell.h"
#include "platform/sim/files_internal.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/processes_impl.h"
#include "platform/sim/processes_objects.h"
#include "platform/sim/processes_state.h"
#include "platform/sim/shell_folders.h"
#include "platform/sim/shell_recycle.h"
#include "platform/system.h"

namespace bc::platform::sim {
namespace {

// A liblnk file opened on a host path; every getter answers an empty text when absent.
class LnkFile {
 public:
  explicit LnkFile(const std::filesystem::path& host) {
    if (liblnk_file_initialize(&file_, nullptr) != 1) {
      file_ = nullptr;
      return;
    }
    open_ = liblnk_file_open(file_, host.c_str(), LIBLNK_OPEN_READ, nullptr) == 1;
  }
  ~LnkFile() {
    if (open_) liblnk_file_close(file_, nullptr);
    if (file_) liblnk_file_free(&file_, nullptr);
  }
  LnkFile(const LnkFile&) = delete;
  LnkFile& operator=(const LnkFile&) = delete;
  bool ok() const { return open_; }

  template <class SizeFn, class GetFn>
  std::u16string Text(SizeFn sizeFn, GetFn getFn) {
    std::size_t size = 0;
    if (sizeFn(file_, &size, nullptr) != 1 || size == 0) return {};
    std::vector<std::uint16_t> buf(size);
    if (getFn(file_, buf.data(), size, nullptr) != 1) return {};
    std::u16string s;
    for (std::uint16_t c : buf) {
      if (c == 0) break;
      s.push_back(static_cast<char16_t>(c));
    }
    return s;
  }

 private:
  liblnk_file_t* file_ = nullptr;
  bool open_ = false;
};

class SimShell final : public IShell {
 public:
  explicit SimShell(SimProcess& process) : process_(process) {}

  HRESULT SHGetFolderPathW(int csidl, DWORD /*flags*/, std::u16string* path) override {
    if (path) path->clear();
    const bool create = (csidl & CSIDL_FLAG_CREATE) != 0;
    const bool dontVerify = (csidl & CSIDL_FLAG_DONT_VERIFY) != 0;
    const auto& id = process_.Identity();
    auto folder = SpecialFolderPath(Descriptor(), id.user, id.wow64, csidl & 0xFF);
    if (!folder) return E_INVALIDARG;
    if (folder->empty()) return E_FAIL;
    IFileSystem& fs = process_.Files();
    const DWORD attrs = fs.GetFileAttributesW(*folder);
    const bool exists = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
    if (!exists && create) {
      const int e = fs.SHCreateDirectoryExW(*folder);
      if (e != ERROR_SUCCESS && e != ERROR_ALREADY_EXISTS) return HRESULT_FROM_WIN32(e);
    } else if (!exists && !dontVerify) {
      return E_FAIL;
    }
    if (path) *path = *folder;
    return S_OK;
  }

  BOOL SHGetSpecialFolderPathW(std::u16string* path, int csidl, BOOL create) override {
    return SUCCEEDED(SHGetFolderPathW(csidl | (create ? CSIDL_FLAG_CREATE : 0), 0, path)) ? 1 : 0;
  }

  BOOL GetProfilesDirectoryW(std::u16string* out, DWORD* cch) override {
    if (out) out->clear();
    const std::u16string dir = ProfilesDirectory(Descriptor());
    if (!cch) return Fail(ERROR_INVALID_PARAMETER);
    const DWORD needed = static_cast<DWORD>(dir.size() + 1);
    if (*cch < needed) {
      *cch = needed;
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    *cch = needed;
    if (out) *out = dir;
    return 1;
  }

  HRESULT ShellLinkGetPath(std::u16string_view lnkFile, DWORD cchMax, DWORD flags,
                           std::u16string* path) override {
    if (path) path->clear();
    auto item = ResolvePath(process_, lnkFile);
    if (!item) return HRESULT_FROM_WIN32(static_cast<LSTATUS>(StateOf(process_).LastError()));
    if (!item->loc.exists || item->loc.isDir) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    LnkFile link(item->loc.host);
    if (!link.ok()) return E_FAIL;
    const std::u16string local =
        link.Text(liblnk_file_get_utf16_local_path_size, liblnk_file_get_utf16_local_path);
    const std::u16string network =
        link.Text(liblnk_file_get_utf16_network_path_size, liblnk_file_get_utf16_network_path);
    std::u16string target = (flags & SLGP_UNCPRIORITY) && !network.empty() ? network
                            : !local.empty()                               ? local
                                                                           : network;
    if (target.empty()) {
      // Links made from an environment-variable path keep it in an extra block.
      std::u16string env = link.Text(liblnk_file_get_utf16_environment_variables_location_size,
                                     liblnk_file_get_utf16_environment_variables_location);
      if (!env.empty() && !(flags & SLGP_RAWPATH)) {
        std::u16string expanded;
        if (process_.Files().ExpandEnvironmentStringsW(env, 32768, &expanded) > 0) env = expanded;
      }
      target = env;
    }
    if (target.empty()) return S_FALSE;
    if (cchMax == 0) return E_INVALIDARG;
    if (target.size() >= cchMax) target.resize(cchMax - 1);
    if (path) *path = target;
    return S_OK;
  }

  int SHFileOperationW(SHFILEOPSTRUCTW* op) override {
    if (!op || op->pFrom.empty()) return DE_INVALIDFILES;
    op->fAnyOperationsAborted = 0;
    IFileSystem& fs = process_.Files();
    std::vector<std::u16string> items;
    for (const auto& from : op->pFrom) {
      if (from.find_first_of(u"*?") == std::u16string::npos) {
        items.push_back(from);
        continue;
      }
      WIN32_FIND_DATAW data;
      const HANDLE h = fs.FindFirstFileW(from, &data);
      if (h == INVALID_HANDLE_VALUE) continue;
      std::u16string dir = from.substr(0, from.find_last_of(u"\\/") + 1);
      do {
        if (data.cFileName != u"." && data.cFileName != u"..")
          items.push_back(dir + data.cFileName);
      } while (fs.FindNextFileW(h, &data));
      fs.FindClose(h);
    }
    if (items.empty()) return ERROR_FILE_NOT_FOUND;
    for (std::size_t i = 0; i < items.size(); ++i) {
      int e = ERROR_SUCCESS;
      switch (op->wFunc) {
        case FO_DELETE:
          e = Delete(items[i], (op->fFlags & FOF_ALLOWUNDO) != 0);
          break;
        case FO_MOVE:
        case FO_RENAME:
        case FO_COPY:
          e = MoveOrCopy(*op, items, i);
          break;
        default:
          return ERROR_INVALID_PARAMETER;
      }
      if (e != ERROR_SUCCESS) {
        op->fAnyOperationsAborted = 1;
        return e;
      }
    }
    return ERROR_SUCCESS;
  }

  HINSTANCE_RESULT ShellExecuteW(std::u16string_view verb, std::u16string_view file,
                                 std::u16string_view parameters, std::u16string_view directory,
                                 int showCmd) override {
    SHELLEXECUTEINFOW info;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = showCmd;
    ShellExecuteExW(&info);
    return info.hInstApp;
  }

  BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) override {
    info->hProcess = 0;
    if (info->lpFile.empty()) return Refuse(info, SE_ERR_FNF, ERROR_FILE_NOT_FOUND);
    const StartKind kind =
        EqualsNoCase(info->lpVerb, u"runas") ? StartKind::kRunAs : StartKind::kShellExecute;
    std::u16string program(info->lpFile);
    if (!info->lpDirectory.empty() && PathIsRelativeW(program)) {
      program = PathJoin(info->lpDirectory, program);
    }
    std::u16string line = u"\"" + std::u16string(info->lpFile) + u"\"";
    if (!info->lpParameters.empty()) line += u" " + info->lpParameters;
    LSTATUS error = 0;
    auto object = StartProgram(process_, program, line, kind, &error);
    if (!object) {
      // A refused elevation prompt: SE_ERR_ACCESSDENIED with ERROR_CANCELLED.
      if (error == ERROR_FILE_NOT_FOUND) return Refuse(info, SE_ERR_FNF, error);
      if (error == ERROR_PATH_NOT_FOUND) return Refuse(info, SE_ERR_PNF, error);
      return Refuse(info, SE_ERR_ACCESSDENIED, error);
    }
    info->hInstApp = kShellExecuteSucceeded;
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS) {
      info->hProcess =
          StateOf(process_).Add(std::make_shared<SharedHandle<WaitableObject>>(object));
    }
    StateOf(process_).SetLastError(ERROR_SUCCESS);
    return 1;
  }

 private:
  const MachineDescriptor& Descriptor() { return process_.Machine().Descriptor(); }
  BOOL Fail(DWORD e) {
    StateOf(process_).SetLastError(e);
    return 0;
  }
  BOOL Refuse(SHELLEXECUTEINFOW* info, HINSTANCE_RESULT code, DWORD error) {
    info->hInstApp = code;
    return Fail(error);
  }

  int Delete(const std::u16string& path, bool toRecycleBin) {
    auto item = ResolvePath(process_, path);
    if (!item) return static_cast<int>(StateOf(process_).LastError());
    if (!item->loc.exists)
      return item->loc.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    if (item->loc.isRoot || !MayWriteTo(process_, item->win)) return ERROR_ACCESS_DENIED;
    const Drive* drive = Descriptor().FindDrive(item->win.drive);
    if (toRecycleBin && drive && drive->type == DriveType::Fixed) {
      return RecycleItem(process_, *item);
    }
    return DeleteTree(path);
  }

  int DeleteTree(const std::u16string& path) {
    IFileSystem& fs = process_.Files();
    const DWORD attrs = fs.GetFileAttributesW(path);
    if (attrs == INVALID_FILE_ATTRIBUTES) return static_cast<int>(StateOf(process_).LastError());
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      if (attrs & FILE_ATTRIBUTE_READONLY) fs.SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
      return fs.DeleteFileW(path) ? ERROR_SUCCESS : static_cast<int>(StateOf(process_).LastError());
    }
    WIN32_FIND_DATAW data;
    const HANDLE h = fs.FindFirstFileW(PathJoin(path, u"*"), &data);
    std::vector<std::u16string> children;
    if (h != INVALID_HANDLE_VALUE) {
      do {
        if (data.cFileName != u"." && data.cFileName != u"..") {
          children.push_back(PathJoin(path, data.cFileName));
        }
      } while (fs.FindNextFileW(h, &data));
      fs.FindClose(h);
    }
    for (const auto& child : children) {
      if (const int e = DeleteTree(child); e != ERROR_SUCCESS) return e;
    }
    return fs.RemoveDirectoryW(path) ? ERROR_SUCCESS
                                     : static_cast<int>(StateOf(process_).LastError());
  }

  int MoveOrCopy(const SHFILEOPSTRUCTW& op, const std::vector<std::u16string>& items,
                 std::size_t i) {
    if (op.pTo.empty()) return ERROR_INVALID_PARAMETER;
    IFileSystem& fs = process_.Files();
    std::u16string dest = op.pTo.size() == items.size() ? op.pTo[i] : op.pTo[0];
    const DWORD destAttrs = fs.GetFileAttributesW(dest);
    if (op.wFunc != FO_RENAME && destAttrs != INVALID_FILE_ATTRIBUTES &&
        (destAttrs & FILE_ATTRIBUTE_DIRECTORY)) {
      dest = PathJoin(dest, PathFindFileNameW(items[i]));
    }
    if (op.wFunc == FO_COPY) return CopyTree(items[i], dest);
    return fs.MoveFileExW(items[i], dest, MOVEFILE_COPY_ALLOWED)
               ? ERROR_SUCCESS
               : static_cast<int>(StateOf(process_).LastError());
  }

  int CopyTree(const std::u16string& from, const std::u16string& to) {
    IFileSystem& fs = process_.Files();
    const DWORD attrs = fs.GetFileAttributesW(from);
    if (attrs == INVALID_FILE_ATTRIBUTES) return static_cast<int>(StateOf(process_).LastError());
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      return fs.CopyFileW(from, to, 0) ? ERROR_SUCCESS
                                       : static_cast<int>(StateOf(process_).LastError());
    }
    if (!fs.CreateDirectoryW(to) && StateOf(process_).LastError() != ERROR_ALREADY_EXISTS) {
      return static_cast<int>(StateOf(process_).LastError());
    }
    WIN32_FIND_DATAW data;
    const HANDLE h = fs.FindFirstFileW(PathJoin(from, u"*"), &data);
    if (h == INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
    int result = ERROR_SUCCESS;
    do {
      if (data.cFileName == u"." || data.cFileName == u"..") continue;
      result = CopyTree(PathJoin(from, data.cFileName), PathJoin(to, data.cFileName));
    } while (result == ERROR_SUCCESS && fs.FindNextFileW(h, &data));
    fs.FindClose(h);
    return result;
  }

  SimProcess& process_;
};

}  // namespace

std::unique_ptr<IShell> MakeSimShell(SimProcess& process) {
  return std::make_unique<SimShell>(process);
}

}  // namespace bc::platform::sim
