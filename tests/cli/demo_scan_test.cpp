// The demo machine, built from its recipe, scanned as its user would: the findings are exactly
// the ones listed beside the recipe.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

namespace {

namespace fs = std::filesystem;

struct Finding {
  unsigned category;
  int entryType;
  std::string key;
  std::string valueName;
  int is32Bit;
  auto operator<=>(const Finding&) const = default;
};

std::string Describe(const Finding& f) {
  char bit[16];
  std::snprintf(bit, sizeof bit, "0x%04x", f.category);
  return std::string(bit) + " type " + std::to_string(f.entryType) + " " + f.key + " [" +
         f.valueName + "] 32bit=" + std::to_string(f.is32Bit);
}

fs::path SourceDir() {
  const char* dir = std::getenv("BC_SOURCE_DIR");
  return dir ? fs::path(dir) : fs::path(".");
}

std::set<Finding> ExpectedFindings(const fs::path& recipe) {
  std::set<Finding> expected;
  for (const auto& e : fs::directory_iterator(recipe)) {
    const std::string name = e.path().filename().string();
    if (!name.starts_with("expected-") || e.path().extension() != ".tsv") continue;
    std::ifstream in(e.path());
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::vector<std::string> cols;
      std::stringstream ss(line);
      for (std::string col; std::getline(ss, col, '\t');) cols.push_back(col);
      EXPECT_EQ(cols.size(), 5u) << e.path() << ": " << line;
      if (cols.size() != 5) continue;
      expected.insert({static_cast<unsigned>(std::stoul(cols[0], nullptr, 16)), std::stoi(cols[1]),
                       cols[2], cols[3], std::stoi(cols[4])});
    }
  }
  return expected;
}

int RunCommand(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buf[65536];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out->append(buf, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DemoMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("bc-demo-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(DemoMachine, ScanReportsExactlyTheListedFindings) {
  const fs::path recipe = SourceDir() / "machines" / "demo";
  std::string out;
  ASSERT_EQ(
      RunCommand(std::string(BC_BRELLUM_MACHINE) + " recipe '" + recipe.string() + "' '" +
                     dir_.string() + "' --lang '" + (SourceDir() / "LANG").string() + "' 2>&1",
                 &out),
      0)
      << out;
  out.clear();
  ASSERT_EQ(RunCommand(std::string(BC_BRELLUM) + " scan --machine '" + dir_.string() +
                           "' --json --elevated",
                       &out),
            0)
      << out;
  const auto json = nlohmann::json::parse(out);
  std::set<Finding> found;
  for (const auto& f : json) {
    found.insert({f.at("category").get<unsigned>(), f.at("entryType").get<int>(),
                  f.at("key").get<std::string>(), f.at("valueName").get<std::string>(),
                  f.at("is32Bit").get<int>()});
  }
  const auto expected = ExpectedFindings(recipe);
  ASSERT_FALSE(expected.empty());
  for (const auto& f : expected) EXPECT_TRUE(found.count(f)) << "missing: " << Describe(f);
  for (const auto& f : found) EXPECT_TRUE(expected.count(f)) << "unexpected: " << Describe(f);

  // The scan saved its results for the next start of the program.
  bool saved = false;
  for (const auto& e : fs::recursive_directory_iterator(dir_)) {
    saved = saved || e.path().filename() == "results.dvn";
  }
  EXPECT_TRUE(saved);
}

TEST(BrellumCommandLine, BadUsageAndBadMachinesAreReportedNotCrashed) {
  struct Case {
    std::string args;
    int status;
  };
  const fs::path notMachine = fs::temp_directory_path();
  for (const Case& c : std::initializer_list<Case>{
           {"", 2},
           {"frobnicate", 2},
           {"scan", 2},
           {"scan --machine", 2},
           {"scan --machine x --bogus", 2},
           {"scan --machine x --categories 0x8000", 2},
           {"scan --machine '" + notMachine.string() + "'", 1},
       }) {
    std::string out;
    EXPECT_EQ(RunCommand(std::string(BC_BRELLUM) + " " + c.args + " 2>&1", &out), c.status)
        << c.args;
    EXPECT_NE(out.find("brellum"), std::string::npos) << c.args << ": " << out;
  }
}

}  // namespace
