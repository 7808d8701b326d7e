// The class library's binary archive encoding: little-endian integers, the element count
// (u16, or 0xFFFF then u32) and the UTF-16 string (0xFF, 0xFFFE, a 1/3/7-byte length, the
// characters). Used by the exclusion lists, the results file, the undo index and the optimizer's
// summary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bc {

// Thrown by ArchiveReader on truncated or malformed input. File readers catch it at their
// boundary and turn it into their documented failure.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Appends encoded values to a byte vector.
class ArchiveWriter {
 public:
  void WriteU8(std::uint8_t v);
  void WriteU16(std::uint16_t v);
  void WriteU32(std::uint32_t v);
  void WriteU64(std::uint64_t v);
  void WriteI32(std::int32_t v);
  void WriteBytes(std::span<const std::uint8_t> bytes);
  // u16 when n < 0xFFFF, else 0xFFFF followed by n as u32.
  void WriteCount(std::uint32_t n);
  // 0xFF 0xFFFE, length (1 byte when <= 254, 0xFF + u16 when <= 0xFFFD, else 0xFF 0xFFFF + u32),
  // then the code units without terminator. Texts longer than 0xFFFFFFFE units are cut there.
  void WriteString(std::u16string_view s);

  const std::vector<std::uint8_t>& data() const { return data_; }
  std::vector<std::uint8_t> Take() { return std::move(data_); }

 private:
  std::vector<std::uint8_t> data_;
};

// Reads encoded values from a byte span; every read checks what is left and throws
// ArchiveError instead of reading past the end or allocating what the input cannot back.
class ArchiveReader {
 public:
  explicit ArchiveReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::uint8_t ReadU8();
  std::uint16_t ReadU16();
  std::uint32_t ReadU32();
  std::uint64_t ReadU64();
  std::int32_t ReadI32();
  std::span<const std::uint8_t> ReadBytes(std::size_t n);
  // The element count. Rejects a count whose elements, at minElementBytes each, cannot fit in
  // what is left, so callers may reserve() the result.
  std::uint32_t ReadCount(std::size_t minElementBytes = 0);
  // The UTF-16 string form only; the narrow (non-UTF-16) form is rejected as malformed.
  std::u16string ReadString();

  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ == data_.size(); }

 private:
  void Need(std::size_t n, const char* what) const;
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

// Smallest encoded size of one string (marker and a one-byte length), for ReadCount.
inline constexpr std::size_t kMinArchiveStringBytes = 4;

}  // namespace bc
