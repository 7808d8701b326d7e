#include "platform/sim/registry_replace.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "platform/sim/hive_writer.h"
#include "platform/sim/registry_paths.h"

namespace bc::platform::sim {
namespace {

using nlohmann::json;

bool Save(const std::filesystem::path& file, const std::vector<PendingHiveReplacement>& list,
          std::string* error) {
  json a = json::array();
  for (const auto& e : list) {
    a.push_back({{"hive", Utf16ToUtf8(e.hive)},
                 {"newFile", Utf16ToUtf8(e.newFile)},
                 {"oldFile", Utf16ToUtf8(e.oldFile)}});
  }
  const std::string text = a.dump(2) + "\n";
  return ReplaceFileAtomically(
      file, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, error);
}

}  // namespace

std::vector<PendingHiveReplacement> PendingHiveReplacements(
    const std::filesystem::path& machineFolder, std::string* error) {
  std::vector<PendingHiveReplacement> out;
  const auto file = machineFolder / kPendingReplacementsFile;
  std::ifstream in(file, std::ios::binary);
  if (!in) return out;
  try {
    for (const auto& e : json::parse(in)) {
      out.push_back({Utf8ToUtf16(e.at("hive").get<std::string>()),
                     Utf8ToUtf16(e.at("newFile").get<std::string>()),
                     Utf8ToUtf16(e.at("oldFile").get<std::string>())});
    }
  } catch (const std::exception& ex) {
    if (error) *error = file.string() + ": malformed list of hive replacements (" + ex.what() + ")";
    out.clear();
  }
  return out;
}

bool RecordHiveReplacement(const std::filesystem::path& machineFolder,
                           const PendingHiveReplacement& entry, std::string* error) {
  std::string why;
  auto list = PendingHiveReplacements(machineFolder, &why);
  if (!why.empty()) {
    if (error) *error = why;
    return false;
  }
  std::erase_if(list, [&](const auto& e) { return EqualsNoCase(e.hive, entry.hive); });
  list.push_back(entry);
  return Save(machineFolder / kPendingReplacementsFile, list, error);
}

bool ApplyPendingHiveReplacements(const std::filesystem::path& machineFolder,
                                  const MachineDescriptor& d, std::string* error) {
  std::string why;
  const auto list = PendingHiveReplacements(machineFolder, &why);
  if (!why.empty()) {
    if (error) *error = why;
    return false;
  }
  bool ok = true;
  for (const auto& e : list) {
    std::filesystem::path hive, fresh, old;
    if (HostPathOf(machineFolder, d, e.hive, &hive) != 0 ||
        HostPathOf(machineFolder, d, e.newFile, &fresh) != 0 ||
        HostPathOf(machineFolder, d, e.oldFile, &old) != 0 || !std::filesystem::exists(fresh) ||
        !std::filesystem::exists(hive)) {
      if (error && ok) *error = Utf16ToUtf8(e.hive) + ": replacement files are missing";
      ok = false;
      continue;
    }
    std::error_code ec;
    std::filesystem::rename(hive, old, ec);
    if (!ec) std::filesystem::rename(fresh, hive, ec);
    if (ec) {
      if (error && ok) *error = hive.string() + ": " + ec.message();
      ok = false;
    }
  }
  std::error_code ec;
  std::filesystem::remove(machineFolder / kPendingReplacementsFile, ec);
  return ok;
}

}  // namespace bc::platform::sim
