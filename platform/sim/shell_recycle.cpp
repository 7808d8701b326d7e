#include "platform/sim/shell_recycle.h"

#include <sys/stat.h>

#include <fstream>
#include <random>

#include "base/text.h"
#include "platform/path_string.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/system.h"

namespace bc::platform::sim {
namespace {

constexpr std::size_t kInfo2Header = 20, kInfo2Record = 800, kIRecord = 544;

std::uint32_t Get32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
  return v;
}
std::uint64_t Get64(const std::string& b, std::size_t at) {
  return Get32(b, at) | (std::uint64_t{Get32(b, at + 4)} << 32);
}
void Put32(std::string& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put64(std::string& b, std::uint64_t v) {
  Put32(b, static_cast<std::uint32_t>(v));
  Put32(b, static_cast<std::uint32_t>(v >> 32));
}
// A fixed field of n UTF-16 characters, NUL padded.
void PutWide(std::string& b, std::u16string_view s, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = i < s.size() ? s[i] : u'\0';
    b.push_back(static_cast<char>(c & 0xFF));
    b.push_back(static_cast<char>(c >> 8));
  }
}
std::u16string GetWide(const std::string& b, std::size_t at, std::size_t n) {
  std::u16string s;
  for (std::size_t i = 0; i < n && at + 2 * i + 1 < b.size(); ++i) {
    const char16_t c = static_cast<char16_t>(static_cast<unsigned char>(b[at + 2 * i]) |
                                             (static_cast<unsigned char>(b[at + 2 * i + 1]) << 8));
    if (c == 0) break;
    s.push_back(c);
  }
  return s;
}

std::string ReadHost(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
bool WriteHost(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::uint64_t TreeSize(const std::filesystem::path& p) {
  std::error_code ec;
  if (!std::filesystem::is_directory(p, ec)) return std::filesystem::file_size(p, ec);
  std::uint64_t total = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(p, ec)) {
    if (e.is_regular_file(ec)) total += e.file_size(ec);
  }
  return total;
}

// The recycle folder of a drive for a SID: Windows parts and host path. Made when create is set.
std::optional<std::pair<DrivePath, std::filesystem::path>> RecycleFolder(SimMachine& machine,
                                                                         char16_t drive,
                                                                         std::u16string_view sid,
                                                                         bool create) {
  const bool xp = machine.Descriptor().version.IsXp();
  DrivePath root{ToUpper(drive), {xp ? u"RECYCLER" : u"$Recycle.Bin"}, false};
  DrivePath folder = root;
  folder.parts.emplace_back(sid);
  DirectoryCache& cache = machine.Files().Cache();
  LSTATUS e = 0;
  for (const DrivePath* p : {&root, &folder}) {
    auto loc = cache.Locate(*p, &e);
    if (!loc) return std::nullopt;
    if (loc->exists) continue;
    if (!create || ::mkdir(loc->host.c_str(), 0777) != 0) return std::nullopt;
    SetHostFileAttributes(loc->host, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, &e);
    cache.Forget(loc->parentHost);
    if (p == &folder && xp) {
      WriteHost(loc->host / "desktop.ini",
                "[.ShellClassInfo]\r\nCLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n");
    }
  }
  auto loc = cache.Locate(folder, &e);
  if (!loc || !loc->exists) return std::nullopt;
  // The Windows spelling of the folders is the host's.
  folder.parts = {Utf8ToUtf16(loc->host.parent_path().filename().string()), loc->name};
  return std::make_pair(folder, loc->host);
}

std::u16string RandomName() {
  static const char16_t chars[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device rd;
  std::u16string s;
  for (int i = 0; i < 6; ++i) s.push_back(chars[rd() % 36]);
  return s;
}

}  // namespace

LSTATUS RecycleItem(SimProcess& process, const ResolvedPath& item) {
  SimMachine& machine = process.Machine();
  const std::u16string sid = process.Identity().user.sid;
  auto folder = RecycleFolder(machine, item.win.drive, sid, true);
  if (!folder) return ERROR_ACCESS_DENIED;
  const auto& [winFolder, hostFolder] = *folder;
  const FileTime now = process.System().GetSystemTimeAsFileTime();
  const std::u16string original = item.win.ToString();
  const std::u16string ext(PathFindExtensionW(item.loc.name));
  const std::uint64_t size = TreeSize(item.loc.host);
  DirectoryCache& cache = machine.Files().Cache();

  if (machine.Descriptor().version.IsXp()) {
    const auto info2 = hostFolder / "INFO2";
    std::string index = ReadHost(info2);
    if (index.size() < kInfo2Header) {
      index.clear();
      Put32(index, 5);
      Put32(index, 0);
      Put32(index, 0);
      Put32(index, static_cast<std::uint32_t>(kInfo2Record));
      Put32(index, 0);
    }
    std::uint32_t next = 1;
    for (std::size_t at = kInfo2Header; at + kInfo2Record <= index.size(); at += kInfo2Record) {
      next = std::max(next, Get32(index, at + 260) + 1);
    }
    const std::u16string stored =
        u"D" + std::u16string(1, ToLower(item.win.drive)) + Ascii(std::to_string(next)) + ext;
    if (::rename(item.loc.host.c_str(), (hostFolder / Utf16ToUtf8(stored)).c_str()) != 0) {
      return StatusFromErrno(errno);
    }
    std::string record;
    for (std::size_t i = 0; i < 260; ++i) {
      const char16_t c = i < original.size() ? original[i] : u'\0';
      record.push_back(c == 0 ? '\0' : c < 0x80 ? static_cast<char>(c) : '?');
    }
    Put32(record, next);
    Put32(record, static_cast<std::uint32_t>(item.win.drive - u'A'));
    Put64(record, now);
    Put32(record, static_cast<std::uint32_t>((size + 4095) / 4096 * 4096));
    PutWide(record, original, 260);
    index += record;
    if (!WriteHost(info2, index)) return ERROR_WRITE_FAULT;
  } else {
    std::u16string name;
    for (int tries = 0; tries < 100; ++tries) {
      name = RandomName() + ext;
      if (!std::filesystem::exists(hostFolder / Utf16ToUtf8(u"$R" + name))) break;
    }
    if (::rename(item.loc.host.c_str(), (hostFolder / Utf16ToUtf8(u"$R" + name)).c_str()) != 0) {
      return StatusFromErrno(errno);
    }
    std::string record;
    Put64(record, 1);
    Put64(record, size);
    Put64(record, now);
    PutWide(record, original, 260);
    if (!WriteHost(hostFolder / Utf16ToUtf8(u"$I" + name), record)) return ERROR_WRITE_FAULT;
  }
  if (item.loc.isDir) {
    cache.ForgetAll();
  } else {
    cache.Forget(item.loc.parentHost);
    cache.Forget(hostFolder);
  }
  (void)winFolder;
  return ERROR_SUCCESS;
}

std::vector<RecycledItem> ListRecycleBin(SimMachine& machine, char16_t drive,
                                         std::u16string_view sid) {
  std::vector<RecycledItem> out;
  auto folder = RecycleFolder(machine, drive, sid, false);
  if (!folder) return out;
  const auto& [winFolder, hostFolder] = *folder;
  const std::u16string winPrefix = winFolder.ToString() + u"\\";
  if (machine.Descriptor().version.IsXp()) {
    const std::string index = ReadHost(hostFolder / "INFO2");
    for (std::size_t at = kInfo2Header; at + kInfo2Record <= index.size(); at += kInfo2Record) {
      RecycledItem item;
      item.originalPath = GetWide(index, at + 280, 260);
      const std::u16string ext(PathFindExtensionW(item.originalPath));
      item.storedPath = winPrefix + u"D" + std::u16string(1, ToLower(drive)) +
                        Ascii(std::to_string(Get32(index, at + 260))) + ext;
      item.deletedAt = Get64(index, at + 268);
      item.size = Get32(index, at + 276);
      out.push_back(std::move(item));
    }
    return out;
  }
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(hostFolder, ec)) {
    const std::string name = e.path().filename().string();
    if (!name.starts_with("$I")) continue;
    const std::string record = ReadHost(e.path());
    if (record.size() < kIRecord || Get64(record, 0) != 1) continue;
    RecycledItem item;
    item.size = Get64(record, 8);
    item.deletedAt = Get64(record, 16);
    item.originalPath = GetWide(record, 24, 260);
    item.storedPath = winPrefix + u"$R" + Utf8ToUtf16(name.substr(2));
    out.push_back(std::move(item));
  }
  std::sort(out.begin(), out.end(),
            [](const RecycledItem& a, const RecycledItem& b) { return a.deletedAt < b.deletedAt; });
  return out;
}

bool RestoreRecycledItem(SimMachine& machine, char16_t drive, std::u16string_view sid,
                         const RecycledItem& item, std::string* error) {
  FilesState& files = machine.Files();
  auto stored = files.HostPath(item.storedPath);
  auto original = files.HostPath(item.originalPath);
  std::error_code ec;
  if (!stored || !std::filesystem::exists(*stored, ec)) {
    if (error) *error = "the recycled item is gone";
    return false;
  }
  if (!original || std::filesystem::exists(*original, ec)) {
    if (error) *error = Utf16ToUtf8(item.originalPath) + ": the place is taken";
    return false;
  }
  if (::rename(stored->c_str(), original->c_str()) != 0) {
    if (error) *error = Utf16ToUtf8(item.originalPath) + ": cannot move the item back";
    return false;
  }
  auto folder = RecycleFolder(machine, drive, sid, false);
  if (folder && machine.Descriptor().version.IsXp()) {
    const auto info2 = folder->second / "INFO2";
    const std::string index = ReadHost(info2);
    std::string kept = index.substr(0, std::min(index.size(), kInfo2Header));
    for (std::size_t at = kInfo2Header; at + kInfo2Record <= index.size(); at += kInfo2Record) {
      if (GetWide(index, at + 280, 260) == item.originalPath &&
          Get64(index, at + 268) == item.deletedAt) {
        continue;
      }
      kept += index.substr(at, kInfo2Record);
    }
    WriteHost(info2, kept);
  } else if (folder) {
    const std::u16string name(PathFindFileNameW(item.storedPath));
    std::filesystem::remove(folder->second / Utf16ToUtf8(u"$I" + name.substr(2)), ec);
  }
  files.ForgetListings();
  return true;
}

}  // namespace bc::platform::sim
