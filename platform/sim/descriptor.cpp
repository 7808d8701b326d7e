#include "platform/sim/descriptor.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "base/text.h"

namespace bc::platform::sim {
namespace {

using nlohmann::json;

std::string U8(const std::u16string& s) { return Utf16ToUtf8(s); }
std::u16string U16(const json& j) { return Utf8ToUtf16(j.get<std::string>()); }

const char* DriveTypeName(DriveType t) {
  switch (t) {
    case DriveType::Removable: return "removable";
    case DriveType::Network: return "network";
    case DriveType::CdRom: return "cdrom";
    case DriveType::Fixed: break;
  }
  return "fixed";
}

std::optional<DriveType> ParseDriveType(const std::string& s) {
  if (s == "fixed") return DriveType::Fixed;
  if (s == "removable") return DriveType::Removable;
  if (s == "network") return DriveType::Network;
  if (s == "cdrom") return DriveType::CdRom;
  return std::nullopt;
}

json TextList(const std::vector<std::u16string>& list) {
  json a = json::array();
  for (const auto& s : list) a.push_back(U8(s));
  return a;
}

std::vector<std::u16string> ParseTextList(const json& a) {
  std::vector<std::u16string> out;
  for (const auto& s : a) out.push_back(U16(s));
  return out;
}

}  // namespace

const UserAccount* MachineDescriptor::FindUser(std::u16string_view name) const {
  for (const auto& u : users) {
    if (EqualsNoCase(u.name, name)) return &u;
  }
  return nullptr;
}

const Drive* MachineDescriptor::FindDrive(char16_t letter) const {
  for (const auto& d : drives) {
    if (ToUpper(d.letter) == ToUpper(letter)) return &d;
  }
  return nullptr;
}

std::u16string MachineDescriptor::WindowsDirectory() const {
  return version.IsXp() ? u"C:\\WINDOWS" : u"C:\\Windows";
}

MachineDescriptor MakeDefaultDescriptor(const CreateOptions& o) {
  MachineDescriptor d;
  if (o.windows == "xp") {
    d.version = {5, 1, 2600, 3, u"Service Pack 3"};
  } else if (o.windows == "vista") {
    d.version = {6, 0, 6002, 2, u"Service Pack 2"};
  } else {
    d.version = {6, 1, 7601, 1, u"Service Pack 1"};
  }
  d.arch = o.arch;
  const bool xp = d.version.IsXp();
  const std::u16string profiles = xp ? u"C:\\Documents and Settings" : u"C:\\Users";
  d.users.push_back({o.user, u"S-1-5-21-1004336348-1177238915-682003330-1000", o.admin,
                     profiles + u"\\" + o.user});
  d.currentUser = o.user;
  d.drives.push_back({u'C', DriveType::Fixed, "C", true});
  d.drives.push_back({u'D', DriveType::CdRom, "D", false});

  const std::u16string win = d.WindowsDirectory();
  const std::u16string sys = win + u"\\system32";
  auto& env = d.environment;
  env = {{u"SystemDrive", u"C:"},
         {u"SystemRoot", win},
         {u"windir", win},
         {u"ComSpec", sys + u"\\cmd.exe"},
         {u"PATH", sys + u";" + win + u";" + sys + u"\\Wbem"},
         {u"PATHEXT", u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
         {u"ProgramFiles", u"C:\\Program Files"},
         {u"CommonProgramFiles", u"C:\\Program Files\\Common Files"},
         {u"COMPUTERNAME", d.computerName},
         {u"OS", u"Windows_NT"},
         {u"NUMBER_OF_PROCESSORS", u"2"},
         {u"PROCESSOR_ARCHITECTURE", d.Is64Bit() ? u"AMD64" : u"x86"}};
  if (d.Is64Bit()) {
    env.push_back({u"ProgramFiles(x86)", u"C:\\Program Files (x86)"});
    env.push_back({u"CommonProgramFiles(x86)", u"C:\\Program Files (x86)\\Common Files"});
    env.push_back({u"ProgramW6432", u"C:\\Program Files"});
    env.push_back({u"CommonProgramW6432", u"C:\\Program Files\\Common Files"});
  }
  if (xp) {
    env.push_back({u"ALLUSERSPROFILE", profiles + u"\\All Users"});
  } else {
    env.push_back({u"ALLUSERSPROFILE", u"C:\\ProgramData"});
    env.push_back({u"ProgramData", u"C:\\ProgramData"});
    env.push_back({u"PUBLIC", u"C:\\Users\\Public"});
  }
  return d;
}

std::optional<MachineDescriptor> LoadDescriptor(const std::filesystem::path& file,
                                                std::string* error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    if (error) *error = file.string() + ": cannot open the machine descriptor";
    return std::nullopt;
  }
  try {
    const json j = json::parse(in);
    MachineDescriptor d;
    const json& v = j.at("windows");
    d.version.major = v.at("major").get<std::uint32_t>();
    d.version.minor = v.at("minor").get<std::uint32_t>();
    d.version.build = v.at("build").get<std::uint32_t>();
    d.version.servicePackMajor = v.value("servicePackMajor", std::uint16_t{0});
    d.version.servicePack = Utf8ToUtf16(v.value("servicePack", std::string()));
    if (!(d.version.major == 5 && d.version.minor == 1) && d.version.major != 6) {
      throw std::runtime_error("unsupported Windows version");
    }
    const std::string arch = j.at("arch").get<std::string>();
    if (arch != "x86" && arch != "x64") throw std::runtime_error("arch must be x86 or x64");
    d.arch = arch == "x64" ? Arch::x64 : Arch::x86;
    d.computerName = Utf8ToUtf16(j.value("computerName", std::string("PC")));
    for (const auto& u : j.at("users")) {
      d.users.push_back({U16(u.at("name")), U16(u.at("sid")), u.value("admin", false),
                         U16(u.at("profile"))});
    }
    d.currentUser = U16(j.at("currentUser"));
    if (!d.CurrentUser()) throw std::runtime_error("currentUser is not one of the users");
    for (const auto& dr : j.at("drives")) {
      const std::u16string letter = U16(dr.at("letter"));
      const auto type = ParseDriveType(dr.at("type").get<std::string>());
      if (letter.size() != 1 || !type) throw std::runtime_error("bad drive entry");
      d.drives.push_back({ToUpper(letter[0]), *type, dr.at("folder").get<std::string>(),
                          dr.value("present", true)});
    }
    // Named: items() refers to the object, which must outlive the loop.
    const json environment = j.value("environment", json::object());
    for (const auto& [k, val] : environment.items()) {
      d.environment.push_back({Utf8ToUtf16(k), U16(val)});
    }
    if (j.contains("deniedKeys")) d.deniedKeys = ParseTextList(j["deniedKeys"]);
    if (j.contains("protectedKeys")) d.protectedKeys = ParseTextList(j["protectedKeys"]);
    if (j.contains("protectedFiles")) d.protectedFiles = ParseTextList(j["protectedFiles"]);
    d.refuseElevation = j.value("refuseElevation", false);
    if (j.contains("clock") && !j["clock"].is_null()) d.clock = j["clock"].get<std::int64_t>();
    d.utcOffsetMinutes = j.value("utcOffsetMinutes", 0);
    return d;
  } catch (const std::exception& e) {
    if (error) *error = file.string() + ": malformed machine descriptor (" + e.what() + ")";
    return std::nullopt;
  }
}

bool SaveDescriptor(const MachineDescriptor& d, const std::filesystem::path& file,
                    std::string* error) {
  json j;
  j["windows"] = {{"major", d.version.major},
                  {"minor", d.version.minor},
                  {"build", d.version.build},
                  {"servicePackMajor", d.version.servicePackMajor},
                  {"servicePack", U8(d.version.servicePack)}};
  j["arch"] = d.Is64Bit() ? "x64" : "x86";
  j["computerName"] = U8(d.computerName);
  j["users"] = json::array();
  for (const auto& u : d.users) {
    j["users"].push_back(
        {{"name", U8(u.name)}, {"sid", U8(u.sid)}, {"admin", u.admin}, {"profile", U8(u.profile)}});
  }
  j["currentUser"] = U8(d.currentUser);
  j["drives"] = json::array();
  for (const auto& dr : d.drives) {
    j["drives"].push_back({{"letter", U8(std::u16string(1, dr.letter))},
                           {"type", DriveTypeName(dr.type)},
                           {"folder", dr.folder},
                           {"present", dr.present}});
  }
  j["environment"] = json::object();
  for (const auto& [k, v] : d.environment) j["environment"][U8(k)] = U8(v);
  j["deniedKeys"] = TextList(d.deniedKeys);
  if (d.protectedKeys) j["protectedKeys"] = TextList(*d.protectedKeys);
  if (d.protectedFiles) j["protectedFiles"] = TextList(*d.protectedFiles);
  j["refuseElevation"] = d.refuseElevation;
  j["clock"] = d.clock ? json(*d.clock) : json(nullptr);
  j["utcOffsetMinutes"] = d.utcOffsetMinutes;

  const auto tmp = std::filesystem::path(file).concat(".tmp");
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << j.dump(2) << '\n';
    if (!out.flush()) {
      if (error) *error = tmp.string() + ": cannot write the machine descriptor";
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(tmp, file, ec);
  if (ec) {
    if (error) *error = file.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace bc::platform::sim
