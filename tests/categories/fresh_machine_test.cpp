// A machine as created, with nothing installed, holds nothing to clean: the standard keys must be
// complete enough that no category mistakes Windows' own registrations for leftovers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "categories/activex.h"
#include "categories/file_types.h"
#include "tests/categories/category_fixture.h"

namespace bc::categories {
namespace {

using platform::sim::Arch;
using testing::FindingsOf;
using testing::FixtureMachine;
using testing::ScanSession;

TEST(FreshMachine, EveryVersionAndArchitectureScansClean) {
  struct Variant {
    const char* windows;
    Arch arch;
  };
  for (const Variant v :
       {Variant{"xp", Arch::x86}, Variant{"vista", Arch::x86}, Variant{"vista", Arch::x64},
        Variant{"7", Arch::x86}, Variant{"7", Arch::x64}}) {
    SCOPED_TRACE(std::string(v.windows) + (v.arch == Arch::x64 ? " x64" : " x86"));
    testing::MachineOptions options;
    options.windows = v.windows;
    options.arch = v.arch;
    FixtureMachine machine(options);
    ScanSession session(machine, true);
    auto activeX = session.Make<CActiveX>();
    EXPECT_EQ(activeX->Scan(), 1);
    EXPECT_TRUE(FindingsOf(*activeX).empty()) << ::testing::PrintToString(FindingsOf(*activeX));
    auto fileTypes = session.Make<CFileTypes>();
    EXPECT_EQ(fileTypes->Scan(), 1);
    EXPECT_TRUE(FindingsOf(*fileTypes).empty()) << ::testing::PrintToString(FindingsOf(*fileTypes));
  }
}

}  // namespace
}  // namespace bc::categories
