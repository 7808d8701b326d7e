#include "platform/sim/lnk_writer.h"

#include <cstdint>
#include <fstream>

#include "base/text.h"

namespace bc::platform::sim {
namespace {

void Put16(std::string& b, std::uint16_t v) {
  b.push_back(static_cast<char>(v & 0xFF));
  b.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Set32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
// The ANSI form of a text: ASCII kept, anything else "?" (the Unicode form carries the truth).
std::string Ansi(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}
void PutAnsiZ(std::string& b, std::u16string_view s) {
  b += Ansi(s);
  b.push_back('\0');
}
void PutUnicodeZ(std::string& b, std::u16string_view s) {
  for (char16_t c : s) Put16(b, c);
  Put16(b, 0);
}

constexpr std::uint32_t kHasLinkInfo = 0x2, kHasName = 0x4, kHasRelativePath = 0x8,
                        kHasWorkingDir = 0x10, kHasArguments = 0x20, kHasIconLocation = 0x40,
                        kIsUnicode = 0x80;

std::string LinkInfo(const ShellLinkSpec& spec) {
  std::string b(4, '\0');  // LinkInfoSize, set at the end
  const bool unc = spec.target.size() > 2 && spec.target[0] == u'\\' && spec.target[1] == u'\\';
  if (unc) {
    // \\server\share\rest: the share is the net name, the rest the common path suffix.
    std::size_t server = spec.target.find(u'\\', 2);
    std::size_t share =
        server == std::u16string::npos ? server : spec.target.find(u'\\', server + 1);
    const std::u16string net = spec.target.substr(0, share);
    const std::u16string suffix =
        share == std::u16string::npos ? u"" : spec.target.substr(share + 1);
    Put32(b, 0x1C);  // header size: no Unicode offsets
    Put32(b, 0x2);   // CommonNetworkRelativeLinkAndPathSuffix
    Put32(b, 0);     // VolumeIDOffset
    Put32(b, 0);     // LocalBasePathOffset
    Put32(b, 0x1C);  // CommonNetworkRelativeLinkOffset
    const std::size_t suffixOffsetAt = b.size();
    Put32(b, 0);  // CommonPathSuffixOffset
    const std::size_t cnrl = b.size();
    Put32(b, 0);           // size
    Put32(b, 0x2);         // ValidNetType
    Put32(b, 0x14);        // NetNameOffset
    Put32(b, 0);           // DeviceNameOffset
    Put32(b, 0x00020000);  // WNNC_NET_LANMAN
    PutAnsiZ(b, net);
    Set32(b, cnrl, static_cast<std::uint32_t>(b.size() - cnrl));
    Set32(b, suffixOffsetAt, static_cast<std::uint32_t>(b.size()));
    PutAnsiZ(b, suffix);
  } else {
    Put32(b, 0x24);  // header size with the Unicode offsets
    Put32(b, 0x1);   // VolumeIDAndLocalBasePath
    const std::size_t offsets = b.size();
    for (int i = 0; i < 6; ++i) Put32(b, 0);
    // VolumeID with an empty label.
    Set32(b, offsets, static_cast<std::uint32_t>(b.size()));
    const std::size_t volume = b.size();
    Put32(b, 0);
    Put32(b, static_cast<std::uint32_t>(spec.driveType));
    Put32(b, 0x1C0FFEE5);  // serial number
    Put32(b, 0x10);        // VolumeLabelOffset
    b.push_back('\0');
    Set32(b, volume, static_cast<std::uint32_t>(b.size() - volume));
    Set32(b, offsets + 4, static_cast<std::uint32_t>(b.size()));  // LocalBasePathOffset
    PutAnsiZ(b, spec.target);
    Set32(b, offsets + 12, static_cast<std::uint32_t>(b.size()));  // CommonPathSuffixOffset
    b.push_back('\0');
    while (b.size() % 2) b.push_back('\0');
    Set32(b, offsets + 16, static_cast<std::uint32_t>(b.size()));  // LocalBasePathOffsetUnicode
    PutUnicodeZ(b, spec.target);
    Set32(b, offsets + 20, static_cast<std::uint32_t>(b.size()));  // CommonPathSuffixOffsetUnicode
    Put16(b, 0);
  }
  Set32(b, 0, static_cast<std::uint32_t>(b.size()));
  return b;
}

void PutString(std::string& b, const std::u16string& s) {
  Put16(b, static_cast<std::uint16_t>(s.size()));
  for (char16_t c : s) Put16(b, c);
}

}  // namespace

std::string BuildShellLink(const ShellLinkSpec& spec) {
  std::uint32_t flags = kIsUnicode;
  if (!spec.target.empty()) flags |= kHasLinkInfo;
  if (!spec.description.empty()) flags |= kHasName;
  if (!spec.relativePath.empty()) flags |= kHasRelativePath;
  if (!spec.workingDirectory.empty()) flags |= kHasWorkingDir;
  if (!spec.arguments.empty()) flags |= kHasArguments;
  if (!spec.iconLocation.empty()) flags |= kHasIconLocation;

  std::string b;
  Put32(b, 0x4C);
  // CLSID_ShellLink {00021401-0000-0000-C000-000000000046}
  const unsigned char clsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  b.append(reinterpret_cast<const char*>(clsid), sizeof clsid);
  Put32(b, flags);
  Put32(b, spec.targetIsDirectory ? 0x10 : 0x20);  // target's attributes
  for (int i = 0; i < 3; ++i) {
    Put32(b, 0);  // creation, access and write times: unknown
    Put32(b, 0);
  }
  Put32(b, 0);  // target size
  Put32(b, 0);  // icon index
  Put32(b, 1);  // SW_SHOWNORMAL
  Put16(b, 0);  // hot key
  Put16(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  if (flags & kHasLinkInfo) b += LinkInfo(spec);
  if (flags & kHasName) PutString(b, spec.description);
  if (flags & kHasRelativePath) PutString(b, spec.relativePath);
  if (flags & kHasWorkingDir) PutString(b, spec.workingDirectory);
  if (flags & kHasArguments) PutString(b, spec.arguments);
  if (flags & kHasIconLocation) PutString(b, spec.iconLocation);
  Put32(b, 0);  // terminal extra-data block
  return b;
}

bool WriteShellLink(const std::filesystem::path& hostFile, const ShellLinkSpec& spec,
                    std::string* error) {
  std::ofstream out(hostFile, std::ios::binary | std::ios::trunc);
  const std::string bytes = BuildShellLink(spec);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    if (error) *error = hostFile.string() + ": cannot write the shortcut";
    return false;
  }
  return true;
}

}  // namespace bc::platform::sim
