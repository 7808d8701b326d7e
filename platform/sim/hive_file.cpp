#include "platform/sim/hive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "platform/sim/hive_format.h"
#include "platform/sim/hive_writer.h"

namespace bc::platform::sim {
namespace {

static_assert(sizeof(hive_type) == sizeof(DWORD), "value types pass through as 32-bit numbers");

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using CString = std::unique_ptr<char, FreeDeleter>;
template <typename T>
using CArray = std::unique_ptr<T[], FreeDeleter>;

// libhivex hands names out as UTF-8; registry names are mostly ASCII, so widen those directly.
std::u16string Widen(const char* s) {
  const std::size_t n = std::strlen(s);
  std::u16string out(n, u'\0');
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) return Utf8ToUtf16(std::string_view(s, n));
    out[i] = c;
  }
  return out;
}

std::string Narrow(std::u16string_view s) {
  std::string out;
  out.resize(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0x80) return Utf16ToUtf8(s);
    out[i] = static_cast<char>(s[i]);
  }
  return out;
}

}  // namespace

std::optional<FileStamp> StampOf(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{st.st_dev, st.st_ino, st.st_size,
                   static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

HiveFile::HiveFile(std::filesystem::path path, hive_h* h, FileStamp stamp)
    : path_(std::move(path)), h_(h), root_(hivex_root(h)), stamp_(stamp) {}

HiveFile::~HiveFile() {
  hivex_close(h_);
}

std::unique_ptr<HiveFile> HiveFile::Open(const std::filesystem::path& file, std::string* error) {
  auto fail = [&](const std::string& why) -> std::unique_ptr<HiveFile> {
    if (error) *error = file.string() + ": " + why;
    return nullptr;
  };
  const auto stamp = StampOf(file);
  if (!stamp) return fail("hive file not found");
  const std::string problem = hive::CheckHiveFile(file);
  if (!problem.empty()) return fail(problem);
  hive_h* h = hivex_open(file.c_str(), HIVEX_OPEN_WRITE);
  if (!h) return fail(std::string("damaged hive (") + std::strerror(errno) + ")");
  std::unique_ptr<HiveFile> hf(new HiveFile(file, h, *stamp));
  if (hf->root_ == 0) return fail("damaged hive (no root key)");
  return hf;
}

bool HiveFile::ChangedOnDisk() const {
  const auto now = StampOf(path_);
  return !now || !(*now == stamp_);
}

bool HiveFile::CommitTo(const std::filesystem::path& file, std::string* error) {
  if (hivex_commit(h_, file.c_str(), 0) != 0) {
    if (error) *error = file.string() + ": cannot write the hive (" + std::strerror(errno) + ")";
    return false;
  }
  return true;
}

bool HiveFile::Commit(std::string* error) {
  std::filesystem::path tmp = path_;
  tmp += ".brtmp";
  auto fail = [&](const char* what) {
    if (error) *error = path_.string() + ": " + what + " (" + std::strerror(errno) + ")";
    ::unlink(tmp.c_str());
    return false;
  };
  if (hivex_commit(h_, tmp.c_str(), 0) != 0) return fail("cannot write the hive");
  switch (MoveIntoPlace(tmp, path_)) {
    case MoveFailure::kNone:
      break;
    case MoveFailure::kFlush:
      return fail("cannot flush the hive to disk");
    case MoveFailure::kRename:
      return fail("cannot replace the hive file");
  }
  if (auto st = StampOf(path_)) stamp_ = *st;
  return true;
}

bool HiveFile::ReadChildren(hive_node_h node, std::vector<Child>* out) {
  out->clear();
  errno = 0;
  CArray<hive_node_h> kids(hivex_node_children(h_, node));
  if (!kids) return false;
  for (std::size_t i = 0; kids[i] != 0; ++i) {
    CString name(hivex_node_name(h_, kids[i]));
    if (!name) return false;
    out->push_back({Widen(name.get()), kids[i]});
  }
  return true;
}

bool HiveFile::ReadValues(hive_node_h node, std::vector<Value>* out) {
  out->clear();
  CArray<hive_value_h> vals(hivex_node_values(h_, node));
  if (!vals) return false;
  for (std::size_t i = 0; vals[i] != 0; ++i) {
    CString name(hivex_value_key(h_, vals[i]));
    if (!name) return false;
    // Any 32-bit type number is valid in a hive, so it is not read as the library's enum.
    std::uint32_t type = 0;
    std::size_t len = 0;
    if (hivex_value_type(h_, vals[i], reinterpret_cast<hive_type*>(&type), &len) != 0) {
      return false;
    }
    out->emplace_back(Value{Widen(name.get()), type, static_cast<DWORD>(len), vals[i]});
  }
  return true;
}

bool HiveFile::ReadData(hive_value_h value, std::vector<std::uint8_t>* out) {
  hive_type t{};
  std::size_t len = 0;
  CString data(hivex_value_value(h_, value, &t, &len));
  if (!data && len != 0) return false;
  if (!data) {
    // A zero-length value: libhivex may still hand out an allocation or none at all.
    out->clear();
    return true;
  }
  const auto* p = reinterpret_cast<const std::uint8_t*>(data.get());
  out->assign(p, p + len);
  return true;
}

bool HiveFile::CopyData(hive_value_h value, std::uint8_t* dest, std::size_t capacity,
                        std::size_t* size) {
  hive_type t{};
  std::size_t len = 0;
  CString data(hivex_value_value(h_, value, &t, &len));
  if (!data && len != 0) return false;
  *size = len;
  if (data && dest) std::memcpy(dest, data.get(), len < capacity ? len : capacity);
  return true;
}

FileTime HiveFile::Timestamp(hive_node_h node) {
  const std::int64_t t = hivex_node_timestamp(h_, node);
  return t < 0 ? 0 : static_cast<FileTime>(t);
}

hive_node_h HiveFile::FindChild(hive_node_h parent, std::u16string_view name) {
  std::vector<Child> kids;
  if (!ReadChildren(parent, &kids)) return 0;
  for (const auto& k : kids) {
    if (hive::SameName(k.name, name)) return k.node;
  }
  return 0;
}

hive_node_h HiveFile::AddChild(hive_node_h parent, std::u16string_view name,
                               std::uint64_t* leftBehind) {
  if (leftBehind)
    *leftBehind += 16 + 8 * static_cast<std::uint64_t>(hivex_node_nr_children(h_, parent));
  const std::string n = Narrow(name);
  return hivex_node_add_child(h_, parent, n.c_str());
}

bool HiveFile::DeleteChild(hive_node_h child) {
  return hivex_node_delete_child(h_, child) == 0;
}

bool HiveFile::ReadAllValues(hive_node_h node, std::vector<HiveValue>* out) {
  std::vector<Value> vals;
  if (!ReadValues(node, &vals)) return false;
  out->clear();
  out->reserve(vals.size());
  for (auto& v : vals) {
    HiveValue hv{std::move(v.name), v.type, {}};
    if (!ReadData(v.handle, &hv.data)) return false;
    out->push_back(std::move(hv));
  }
  return true;
}

namespace {

// The cells of a value list as it stands: the list, every value cell, and the data cells of data
// that does not fit in its value cell.
std::uint64_t ValueCellBytes(const std::vector<HiveValue>& values) {
  std::uint64_t bytes = 8 + 4 * values.size();
  for (const auto& v : values) {
    bytes += 24 + 2 * v.name.size() + (v.data.size() > 4 ? v.data.size() + 8 : 0);
  }
  return bytes;
}

bool WriteValues(hive_h* h, hive_node_h node, const std::vector<HiveValue>& values) {
  std::vector<std::string> names;
  names.reserve(values.size());
  std::vector<hive_set_value> set(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    names.push_back(Narrow(values[i].name));
    set[i].key = names.back().data();
    std::memcpy(&set[i].t, &values[i].type, sizeof set[i].t);
    set[i].len = values[i].data.size();
    set[i].value = reinterpret_cast<char*>(const_cast<std::uint8_t*>(values[i].data.data()));
  }
  return hivex_node_set_values(h, node, set.size(), set.data(), 0) == 0;
}

}  // namespace

bool HiveFile::SetValue(hive_node_h node, std::u16string_view name, DWORD type,
                        std::span<const std::uint8_t> data, std::uint64_t* leftBehind) {
  if (data.size() > kMaxValueSize) {
    errno = EFBIG;
    return false;
  }
  std::vector<HiveValue> values;
  if (!ReadAllValues(node, &values)) return false;
  if (leftBehind) *leftBehind += ValueCellBytes(values);
  bool replaced = false;
  for (auto& v : values) {
    if (hive::SameName(v.name, name)) {
      v.type = type;
      v.data.assign(data.begin(), data.end());
      replaced = true;
      break;
    }
  }
  if (!replaced) values.push_back({std::u16string(name), type, {data.begin(), data.end()}});
  return WriteValues(h_, node, values);
}

bool HiveFile::DeleteValue(hive_node_h node, std::u16string_view name, bool* found,
                           std::uint64_t* leftBehind) {
  std::vector<HiveValue> values;
  if (!ReadAllValues(node, &values)) return false;
  const std::uint64_t before = ValueCellBytes(values);
  *found = false;
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (hive::SameName(it->name, name)) {
      values.erase(it);
      *found = true;
      break;
    }
  }
  if (!*found) return true;
  if (leftBehind) *leftBehind += before;
  return WriteValues(h_, node, values);
}

bool HiveFile::FillTree(hive_node_h node, HiveKey* key) {
  key->SetLastWrite(Timestamp(node));
  std::vector<HiveValue> values;
  if (!ReadAllValues(node, &values)) return false;
  for (auto& v : values) key->AppendValue(std::move(v));
  std::vector<Child> kids;
  if (!ReadChildren(node, &kids)) return false;
  for (auto& k : kids) {
    auto child = std::make_unique<HiveKey>(std::move(k.name));
    if (!FillTree(k.node, child.get())) return false;
    key->AppendSubkey(std::move(child));
  }
  return true;
}

std::unique_ptr<HiveKey> HiveFile::ReadTree(hive_node_h node, std::u16string_view name) {
  auto key = std::make_unique<HiveKey>(std::u16string(name));
  if (!FillTree(node, key.get())) return nullptr;
  return key;
}

}  // namespace bc::platform::sim
