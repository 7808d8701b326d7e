#include "platform/sim/hive_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/sim/hive_format.h"

namespace bc::platform::sim {
namespace {

using namespace hive;

std::size_t Round8(std::size_t n) {
  return (n + 7) & ~std::size_t{7};
}

// Appends cells to hbins in order; offsets are relative to the first hbin.
class CellArena {
 public:
  explicit CellArena(FileTime timestamp) : timestamp_(timestamp) { bins_.reserve(1 << 16); }

  // A used cell with room for payload bytes; returns its offset (pointing at the size field).
  std::uint32_t Alloc(std::size_t payload) {
    const std::size_t size = Round8(payload + 4);
    if (cur_ + size > binEnd_) NewBin(size);
    const std::size_t off = cur_;
    Put32(&bins_[off], static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
    cur_ += size;
    return static_cast<std::uint32_t>(off);
  }
  // Pointer to the payload of a cell (valid until the next Alloc).
  std::uint8_t* At(std::uint32_t cell) { return &bins_[cell + 4]; }

  std::vector<std::uint8_t> Finish() {
    CloseBin();
    return std::move(bins_);
  }

 private:
  void CloseBin() {
    if (cur_ < binEnd_) {
      Put32(&bins_[cur_], static_cast<std::uint32_t>(binEnd_ - cur_));  // free remainder
      cur_ = binEnd_;
    }
  }
  void NewBin(std::size_t cellSize) {
    CloseBin();
    const std::size_t need = kHbinHeaderSize + cellSize;
    const std::size_t size = (need + kHbinUnit - 1) / kHbinUnit * kHbinUnit;
    const std::size_t start = bins_.size();
    bins_.resize(start + size, 0);
    std::uint8_t* h = &bins_[start];
    std::memcpy(h, "hbin", 4);
    Put32(h + 4, static_cast<std::uint32_t>(start));
    Put32(h + 8, static_cast<std::uint32_t>(size));
    if (start == 0) Put64(h + 0x14, timestamp_);
    cur_ = start + kHbinHeaderSize;
    binEnd_ = start + size;
  }

  FileTime timestamp_;
  std::vector<std::uint8_t> bins_;
  std::size_t cur_ = 0;
  std::size_t binEnd_ = 0;
};

// A name as stored in nk and vk cells: Latin-1 when it fits, else UTF-16LE.
struct StoredName {
  std::vector<std::uint8_t> bytes;
  bool compressed = true;
  std::size_t Utf16Bytes() const { return compressed ? bytes.size() * 2 : bytes.size(); }
};

StoredName EncodeName(std::u16string_view name) {
  StoredName s;
  s.compressed = FitsLatin1(name);
  if (s.compressed) {
    s.bytes.reserve(name.size());
    for (char16_t c : name) s.bytes.push_back(static_cast<std::uint8_t>(c));
  } else {
    s.bytes.reserve(name.size() * 2);
    for (char16_t c : name) {
      s.bytes.push_back(static_cast<std::uint8_t>(c));
      s.bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
  }
  return s;
}

class Writer {
 public:
  Writer(const HiveWriteOptions& o)
      : options_(o), arena_(o.timestamp), bigData_(o.minorVersion >= 4) {}

  std::vector<std::uint8_t> Run(const HiveKey& root) {
    const std::uint32_t rootCell = WriteKey(root, kNoCell, true);
    auto bins = arena_.Finish();
    // Every key shares the one security cell; its count is the number of keys.
    std::memcpy(&bins[securityCell_ + 4], securityPayload_.data(), securityPayload_.size());
    Put32(&bins[securityCell_ + 4 + 12], keyCount_);
    return WithBaseBlock(std::move(bins), rootCell);
  }

 private:
  std::uint32_t WriteKey(const HiveKey& key, std::uint32_t parent, bool isRoot) {
    const StoredName name = EncodeName(key.Name());
    const std::uint32_t nk = arena_.Alloc(kNkHeaderSize + name.bytes.size());
    ++keyCount_;
    {
      std::uint8_t* p = arena_.At(nk);
      p[0] = 'n';
      p[1] = 'k';
      std::uint16_t flags = name.compressed ? kNkCompressedName : 0;
      if (isRoot) flags |= kNkHiveEntry | kNkNoDelete;
      Put16(p + 0x02, flags);
      Put64(p + 0x04, key.LastWrite() ? key.LastWrite() : options_.timestamp);
      Put32(p + 0x10, parent);
      Put32(p + 0x18, 0);
      Put32(p + 0x1C, kNoCell);
      Put32(p + 0x20, kNoCell);
      Put32(p + 0x28, kNoCell);
      Put32(p + 0x30, kNoCell);
      Put16(p + 0x48, static_cast<std::uint16_t>(name.bytes.size()));
      if (!name.bytes.empty()) std::memcpy(p + kNkHeaderSize, name.bytes.data(), name.bytes.size());
    }
    if (isRoot) WriteSecurity();

    // Values, in their order.
    std::uint32_t maxValueName = 0, maxValueData = 0, valueList = kNoCell;
    const auto& values = key.Values();
    if (!values.empty()) {
      valueList = arena_.Alloc(values.size() * 4);
      for (std::size_t i = 0; i < values.size(); ++i) {
        const HiveValue& v = values[i];
        const std::uint32_t vk = WriteValue(v, &maxValueName);
        Put32(arena_.At(valueList) + 4 * i, vk);
        maxValueData = std::max(maxValueData, static_cast<std::uint32_t>(v.data.size()));
      }
    }

    // Sub-keys, sorted the way the hive index is: by upper-cased name.
    const auto& subkeys = key.Subkeys();
    std::vector<std::pair<std::u16string, const HiveKey*>> sorted;
    sorted.reserve(subkeys.size());
    for (const auto& k : subkeys) sorted.emplace_back(ToUpper(k->Name()), k.get());
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;  // nk cell, hash
    entries.reserve(sorted.size());
    std::uint32_t maxSubkeyName = 0;
    for (const auto& [upper, child] : sorted) {
      const std::uint32_t childCell = WriteKey(*child, nk, false);
      entries.emplace_back(childCell, LeafHash(child->Name()));
      maxSubkeyName = std::max(maxSubkeyName, static_cast<std::uint32_t>(child->Name().size() * 2));
    }
    const std::uint32_t index = entries.empty() ? kNoCell : WriteIndex(entries);

    std::uint8_t* p = arena_.At(nk);
    Put32(p + 0x14, static_cast<std::uint32_t>(entries.size()));
    Put32(p + 0x1C, index);
    Put32(p + 0x24, static_cast<std::uint32_t>(values.size()));
    Put32(p + 0x28, valueList);
    Put32(p + 0x2C, securityCell_);
    Put32(p + 0x34, maxSubkeyName);
    Put32(p + 0x3C, maxValueName);
    Put32(p + 0x40, maxValueData);
    return nk;
  }

  std::uint32_t WriteValue(const HiveValue& v, std::uint32_t* maxName) {
    const StoredName name = EncodeName(v.name);
    *maxName = std::max(*maxName, static_cast<std::uint32_t>(name.Utf16Bytes()));
    const std::uint32_t vk = arena_.Alloc(kVkHeaderSize + name.bytes.size());
    const std::size_t size = v.data.size();
    std::uint32_t dataField = 0;
    std::uint32_t lengthField = static_cast<std::uint32_t>(size);
    if (size <= 4) {
      lengthField |= kVkDataInline;
      for (std::size_t i = 0; i < size; ++i) dataField |= std::uint32_t{v.data[i]} << (8 * i);
    } else if (size > kBigDataSegment && bigData_) {
      dataField = WriteBigData(v.data);
    } else {
      dataField = arena_.Alloc(size);
      std::memcpy(arena_.At(dataField), v.data.data(), size);
    }
    std::uint8_t* p = arena_.At(vk);
    p[0] = 'v';
    p[1] = 'k';
    Put16(p + 0x02, static_cast<std::uint16_t>(name.bytes.size()));
    Put32(p + 0x04, lengthField);
    Put32(p + 0x08, dataField);
    Put32(p + 0x0C, v.type);
    Put16(p + 0x10, (name.compressed && !name.bytes.empty()) ? kVkCompressedName : 0);
    if (!name.bytes.empty()) std::memcpy(p + kVkHeaderSize, name.bytes.data(), name.bytes.size());
    return vk;
  }

  // Data over one segment: a "db" cell, its list of segments, and the segments. Each segment cell
  // keeps 4 spare bytes after its data, as Windows lays them out.
  std::uint32_t WriteBigData(const std::vector<std::uint8_t>& data) {
    const std::size_t segments = (data.size() + kBigDataSegment - 1) / kBigDataSegment;
    const std::uint32_t db = arena_.Alloc(12);
    const std::uint32_t list = arena_.Alloc(segments * 4);
    for (std::size_t i = 0; i < segments; ++i) {
      const std::size_t off = i * kBigDataSegment;
      const std::size_t n = std::min(kBigDataSegment, data.size() - off);
      const std::uint32_t seg = arena_.Alloc(n + 4);
      std::memcpy(arena_.At(seg), data.data() + off, n);
      Put32(arena_.At(list) + 4 * i, seg);
    }
    std::uint8_t* p = arena_.At(db);
    p[0] = 'd';
    p[1] = 'b';
    Put16(p + 2, static_cast<std::uint16_t>(segments));
    Put32(p + 4, list);
    return db;
  }

  std::uint32_t WriteLeaf(const std::pair<std::uint32_t, std::uint32_t>* e, std::size_t n) {
    const std::uint32_t lh = arena_.Alloc(4 + n * 8);
    std::uint8_t* p = arena_.At(lh);
    p[0] = 'l';
    p[1] = 'h';
    Put16(p + 2, static_cast<std::uint16_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
      Put32(p + 4 + 8 * i, e[i].first);
      Put32(p + 8 + 8 * i, e[i].second);
    }
    return lh;
  }

  std::uint32_t WriteIndex(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries) {
    if (entries.size() <= kMaxLeafEntries) return WriteLeaf(entries.data(), entries.size());
    std::vector<std::uint32_t> leaves;
    for (std::size_t i = 0; i < entries.size(); i += kMaxLeafEntries) {
      leaves.push_back(
          WriteLeaf(entries.data() + i, std::min(kMaxLeafEntries, entries.size() - i)));
    }
    const std::uint32_t ri = arena_.Alloc(4 + leaves.size() * 4);
    std::uint8_t* p = arena_.At(ri);
    p[0] = 'r';
    p[1] = 'i';
    Put16(p + 2, static_cast<std::uint16_t>(leaves.size()));
    for (std::size_t i = 0; i < leaves.size(); ++i) Put32(p + 4 + 4 * i, leaves[i]);
    return ri;
  }

  void WriteSecurity() {
    const std::vector<std::uint8_t> sd =
        options_.security.empty() ? MachineKeySecurity() : options_.security;
    securityPayload_.assign(20 + sd.size(), 0);
    std::uint8_t* p = securityPayload_.data();
    p[0] = 's';
    p[1] = 'k';
    securityCell_ = arena_.Alloc(securityPayload_.size());
    Put32(p + 4, securityCell_);  // a ring of one
    Put32(p + 8, securityCell_);
    Put32(p + 16, static_cast<std::uint32_t>(sd.size()));
    std::memcpy(p + 20, sd.data(), sd.size());
    std::memcpy(arena_.At(securityCell_), securityPayload_.data(), securityPayload_.size());
  }

  std::vector<std::uint8_t> WithBaseBlock(std::vector<std::uint8_t> bins, std::uint32_t root) {
    std::vector<std::uint8_t> out(kBaseBlockSize + bins.size(), 0);
    std::memcpy(out.data() + kBaseBlockSize, bins.data(), bins.size());
    std::uint8_t* b = out.data();
    std::memcpy(b, "regf", 4);
    Put32(b + kOffSeq1, 1);
    Put32(b + kOffSeq2, 1);
    Put32(b + kOffMajor, 1);
    Put32(b + kOffMinor, options_.minorVersion);
    Put32(b + kOffType, 0);
    Put32(b + kOffFormat, 1);
    Put32(b + kOffRootCell, root);
    Put32(b + kOffBinsSize, static_cast<std::uint32_t>(bins.size()));
    Put32(b + kOffCluster, 1);
    const std::u16string& fn = options_.fileName;
    const std::size_t keep = std::min<std::size_t>(fn.size(), 31);
    for (std::size_t i = 0; i < keep; ++i)
      Put16(b + kOffFileName + 2 * i, fn[fn.size() - keep + i]);
    // Windows never stores 0 or ~0 as a checksum; nudge the time until the sum avoids both, so
    // that readers comparing the plain XOR agree.
    FileTime t = options_.timestamp;
    for (;;) {
      Put64(b + kOffTimestamp, t);
      const std::uint32_t sum = BaseBlockChecksum({b, kBaseBlockSize});
      if (sum != 0 && sum != 0xFFFFFFFFu) {
        Put32(b + kOffChecksum, sum);
        break;
      }
      ++t;
    }
    return out;
  }

  const HiveWriteOptions& options_;
  CellArena arena_;
  bool bigData_;
  std::uint32_t keyCount_ = 0;
  std::uint32_t securityCell_ = kNoCell;
  std::vector<std::uint8_t> securityPayload_;
};

// Binary SID from its text form "S-1-5-21-...".
std::optional<std::vector<std::uint8_t>> SidBytes(std::u16string_view text) {
  const auto parts = SplitAll(text, u'-');
  if (parts.size() < 3 || !EqualsNoCase(parts[0], u"S") || parts[1] != u"1") return std::nullopt;
  std::vector<std::uint64_t> nums;
  for (std::size_t i = 2; i < parts.size(); ++i) {
    if (parts[i].empty() || parts[i].size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (char16_t c : parts[i]) {
      if (c < u'0' || c > u'9') return std::nullopt;
      v = v * 10 + (c - u'0');
    }
    if (v > 0xFFFFFFFFu) return std::nullopt;
    nums.push_back(v);
  }
  const std::size_t subs = nums.size() - 1;
  if (subs > 15) return std::nullopt;
  std::vector<std::uint8_t> sid(8 + 4 * subs, 0);
  sid[0] = 1;
  sid[1] = static_cast<std::uint8_t>(subs);
  for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<std::uint8_t>(nums[0] >> (8 * (5 - i)));
  for (std::size_t i = 0; i < subs; ++i) {
    Put32(&sid[8 + 4 * i], static_cast<std::uint32_t>(nums[i + 1]));
  }
  return sid;
}

struct Ace {
  std::u16string sid;
  std::uint32_t mask;
  std::uint8_t flags;
};

std::vector<std::uint8_t> BuildSecurity(std::u16string_view owner, const std::vector<Ace>& aces) {
  std::vector<std::uint8_t> acl(8, 0);
  for (const Ace& a : aces) {
    const auto sid = SidBytes(a.sid);
    if (!sid) continue;
    const std::size_t start = acl.size();
    acl.resize(start + 8 + sid->size(), 0);
    acl[start] = 0;  // ACCESS_ALLOWED_ACE_TYPE
    acl[start + 1] = a.flags;
    Put16(&acl[start + 2], static_cast<std::uint16_t>(8 + sid->size()));
    Put32(&acl[start + 4], a.mask);
    std::memcpy(&acl[start + 8], sid->data(), sid->size());
    Put16(&acl[4], static_cast<std::uint16_t>(Get16(&acl[4]) + 1));
  }
  acl[0] = 2;  // ACL_REVISION
  Put16(&acl[2], static_cast<std::uint16_t>(acl.size()));

  const auto ownerSid = SidBytes(owner).value_or(*SidBytes(u"S-1-5-32-544"));
  const auto groupSid = *SidBytes(u"S-1-5-18");
  const std::size_t ownerOff = 20;
  const std::size_t groupOff = ownerOff + ownerSid.size();
  const std::size_t daclOff = groupOff + groupSid.size();
  std::vector<std::uint8_t> sd(daclOff + acl.size(), 0);
  sd[0] = 1;                       // revision
  Put16(&sd[2], 0x8000 | 0x0004);  // self-relative, DACL present
  std::memcpy(&sd[ownerOff], ownerSid.data(), ownerSid.size());
  std::memcpy(&sd[groupOff], groupSid.data(), groupSid.size());
  std::memcpy(&sd[daclOff], acl.data(), acl.size());
  Put32(&sd[4], static_cast<std::uint32_t>(ownerOff));
  Put32(&sd[8], static_cast<std::uint32_t>(groupOff));
  Put32(&sd[12], 0);
  Put32(&sd[16], static_cast<std::uint32_t>(daclOff));
  return sd;
}

constexpr std::uint32_t kFull = 0x000F003F;  // KEY_ALL_ACCESS
constexpr std::uint32_t kRead = 0x00020019;  // KEY_READ
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint8_t kInherit = 0x02;  // CONTAINER_INHERIT_ACE
constexpr std::uint8_t kInheritOnly = 0x02 | 0x08;

}  // namespace

std::vector<std::uint8_t> WriteCompactHive(const HiveKey& root, const HiveWriteOptions& options) {
  Writer w(options);
  return w.Run(root);
}

std::vector<std::uint8_t> MachineKeySecurity() {
  return BuildSecurity(u"S-1-5-32-544", {{u"S-1-5-32-544", kFull, kInherit},
                                         {u"S-1-5-18", kFull, kInherit},
                                         {u"S-1-5-32-545", kRead, kInherit},
                                         {u"S-1-3-0", kGenericAll, kInheritOnly}});
}

std::vector<std::uint8_t> UserKeySecurity(std::u16string_view userSid) {
  return BuildSecurity(userSid, {{std::u16string(userSid), kFull, kInherit},
                                 {u"S-1-5-32-544", kFull, kInherit},
                                 {u"S-1-5-18", kFull, kInherit}});
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

MoveFailure MoveIntoPlace(const std::filesystem::path& tmp, const std::filesystem::path& file) {
  const auto failWith = [&](MoveFailure failure) {
    const int saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    return failure;
  };
  const int fd = ::open(tmp.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failWith(MoveFailure::kFlush);
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced) return failWith(MoveFailure::kFlush);
  if (::rename(tmp.c_str(), file.c_str()) != 0) return failWith(MoveFailure::kRename);
  const int dir = ::open(file.parent_path().empty() ? "." : file.parent_path().c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return MoveFailure::kNone;
}

bool ReplaceFileAtomically(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
                           std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = file.string() + ": " + what + " (" + std::strerror(errno) + ")";
    return false;
  };
  std::filesystem::path tmp = file;
  tmp += ".brtmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return fail("cannot create a temporary file");
  const bool written = WriteAll(fd, bytes);
  const int saved = errno;
  ::close(fd);
  if (!written) {
    ::unlink(tmp.c_str());
    errno = saved;
    return fail("cannot write");
  }
  switch (MoveIntoPlace(tmp, file)) {
    case MoveFailure::kNone:
      return true;
    case MoveFailure::kFlush:
      return fail("cannot flush");
    case MoveFailure::kRename:
      return fail("cannot replace");
  }
  return false;
}

}  // namespace bc::platform::sim
