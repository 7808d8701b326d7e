#include "base/archive.h"

#include <string>

namespace bc {

void ArchiveWriter::WriteU8(std::uint8_t v) {
  data_.push_back(v);
}

void ArchiveWriter::WriteU16(std::uint16_t v) {
  data_.push_back(static_cast<std::uint8_t>(v));
  data_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void ArchiveWriter::WriteU32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) data_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ArchiveWriter::WriteU64(std::uint64_t v) {
  for (int i = 0; i < 8; ++i) data_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ArchiveWriter::WriteI32(std::int32_t v) {
  WriteU32(static_cast<std::uint32_t>(v));
}

void ArchiveWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
  data_.insert(data_.end(), bytes.begin(), bytes.end());
}

void ArchiveWriter::WriteCount(std::uint32_t n) {
  if (n < 0xFFFF) {
    WriteU16(static_cast<std::uint16_t>(n));
  } else {
    WriteU16(0xFFFF);
    WriteU32(n);
  }
}

void ArchiveWriter::WriteString(std::u16string_view s) {
  // 0xFFFFFFFF would announce a 64-bit length that no reader of ours accepts.
  if (s.size() > 0xFFFFFFFEull) s = s.substr(0, 0xFFFFFFFEull);
  WriteU8(0xFF);
  WriteU16(0xFFFE);
  const std::size_t n = s.size();
  if (n <= 254) {
    WriteU8(static_cast<std::uint8_t>(n));
  } else if (n <= 0xFFFD) {
    WriteU8(0xFF);
    WriteU16(static_cast<std::uint16_t>(n));
  } else {
    WriteU8(0xFF);
    WriteU16(0xFFFF);
    WriteU32(static_cast<std::uint32_t>(n));
  }
  data_.reserve(data_.size() + 2 * n);
  for (char16_t c : s) WriteU16(c);
}

void ArchiveReader::Need(std::size_t n, const char* what) const {
  if (n > remaining()) {
    throw ArchiveError(std::string("archive truncated: ") + what + " needs " + std::to_string(n) +
                       " bytes at offset " + std::to_string(pos_) + ", " +
                       std::to_string(remaining()) + " left");
  }
}

std::uint8_t ArchiveReader::ReadU8() {
  Need(1, "u8");
  return data_[pos_++];
}

std::uint16_t ArchiveReader::ReadU16() {
  Need(2, "u16");
  const auto v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
  pos_ += 2;
  return v;
}

std::uint32_t ArchiveReader::ReadU32() {
  Need(4, "u32");
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | data_[pos_ + static_cast<std::size_t>(i)];
  pos_ += 4;
  return v;
}

std::uint64_t ArchiveReader::ReadU64() {
  Need(8, "u64");
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | data_[pos_ + static_cast<std::size_t>(i)];
  pos_ += 8;
  return v;
}

std::int32_t ArchiveReader::ReadI32() {
  return static_cast<std::int32_t>(ReadU32());
}

std::span<const std::uint8_t> ArchiveReader::ReadBytes(std::size_t n) {
  Need(n, "byte block");
  const auto out = data_.subspan(pos_, n);
  pos_ += n;
  return out;
}

std::uint32_t ArchiveReader::ReadCount(std::size_t minElementBytes) {
  std::uint32_t n = ReadU16();
  if (n == 0xFFFF) n = ReadU32();
  if (minElementBytes != 0 && n > remaining() / minElementBytes) {
    throw ArchiveError("archive count " + std::to_string(n) + " exceeds the " +
                       std::to_string(remaining()) + " bytes left");
  }
  return n;
}

std::u16string ArchiveReader::ReadString() {
  const std::size_t at = pos_;
  if (ReadU8() != 0xFF || ReadU16() != 0xFFFE) {
    throw ArchiveError("archive string at offset " + std::to_string(at) +
                       " lacks the UTF-16 marker");
  }
  std::uint64_t n = ReadU8();
  if (n == 0xFF) {
    n = ReadU16();
    if (n == 0xFFFE) {
      throw ArchiveError("archive string at offset " + std::to_string(at) +
                         " has a malformed length");
    }
    if (n == 0xFFFF) {
      n = ReadU32();
      if (n == 0xFFFFFFFF) {  // would announce a 64-bit length, which no writer produces
        throw ArchiveError("archive string at offset " + std::to_string(at) +
                           " has a malformed length");
      }
    }
  }
  if (n > remaining() / 2) {
    throw ArchiveError("archive string at offset " + std::to_string(at) + " declares " +
                       std::to_string(n) + " characters, " + std::to_string(remaining()) +
                       " bytes left");
  }
  std::u16string s(static_cast<std::size_t>(n), u'\0');
  for (auto& c : s) {
    c = static_cast<char16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
  }
  return s;
}

}  // namespace bc
