#include "engine/entry_types.h"

#include <vector>

#include "base/format.h"
#include "engine/problem.h"

namespace bc::engine {

namespace {

using R = RepairRule;
using A = DescArg;

constexpr EntryTypeInfo None(R rule) {
  return {rule, 0, {}};
}
constexpr EntryTypeInfo One(R rule, A a) {
  return {rule, 1, {a}};
}
constexpr EntryTypeInfo Two(R rule, A a, A b) {
  return {rule, 2, {a, b}};
}
constexpr EntryTypeInfo Three(R rule, A a, A b, A c) {
  return {rule, 3, {a, b, c}};
}

}  // namespace

const std::array<EntryTypeInfo, kEntryTypeCount> kEntryTypeTable{{
    /* 0 */ Two(R::kA, A::kLine1, A::kValueData),
    /* 1 */ One(R::kB, A::kLine1),
    /* 2 */ One(R::kV, A::kValueData),
    /* 3 */ One(R::kC, A::kValueData),
    /* 4 */ One(R::kB, A::kKey),
    /* 5 */ One(R::kB, A::kLine2),
    /* 6 */ One(R::kC, A::kValueData),
    /* 7 */ Two(R::kA, A::kValueData, A::kLine1),
    /* 8 */ One(R::kB, A::kLine1),
    /* 9 */ One(R::kB, A::kLine1),
    /* 10 */ Two(R::kB, A::kValueData, A::kLine1),
    /* 11 */ One(R::kC, A::kValueData),
    /* 12 */ One(R::kC, A::kValueData),
    /* 13 */ Two(R::kC, A::kValueData, A::kLine0),
    /* 14 */ None(R::kD),
    /* 15 */ Two(R::kC, A::kLine0, A::kValueData),
    /* 16 */ One(R::kD, A::kKey),
    /* 17 */ One(R::kC, A::kValueData),
    /* 18 */ One(R::kB, A::kKey),
    /* 19 */ One(R::kA, A::kValueData),
    /* 20 */ One(R::kB, A::kKey),
    /* 21 */ Two(R::kA, A::kLine1, A::kValueData),
    /* 22 */ One(R::kC, A::kLine1),
    /* 23 */ One(R::kV, A::kValueData),
    /* 24 */ One(R::kV, A::kValueData),
    /* 25 */ One(R::kV, A::kValueData),
    /* 26 */ None(R::kH1),
    /* 27 */ One(R::kH2, A::kLine1),
    /* 28 */ One(R::kV, A::kLine1),
    /* 29 */ One(R::kV, A::kLine2),
    /* 30 */ One(R::kV, A::kLine2),
    /* 31 */ One(R::kV, A::kLine2),
    /* 32 */ One(R::kU, A::kLine2),
    /* 33 */ One(R::kV, A::kLine1),
    /* 34 */ Two(R::kF, A::kLine2, A::kLine2),
    /* 35 */ None(R::kB),
    /* 36 */ One(R::kC, A::kValueData),
    /* 37 */ Two(R::kE, A::kValueData, A::kLine1),
    /* 38 */ One(R::kB, A::kLine1),
    /* 39 */ One(R::kC, A::kLine1),
    /* 40 */ Two(R::kF, A::kLine3, A::kLine2),
    /* 41 */ One(R::kV, A::kValueData),
    /* 42 */ Three(R::kV, A::kValueNameOrDefault, A::kKey, A::kValueData),
    /* 43 */ Three(R::kV, A::kValueNameOrDefault, A::kKey, A::kValueData),
}};

std::u16string ProblemDescriptionKey(std::int32_t type) {
  if (!IsValidEntryType(type)) return {};
  return Format(u"IDS_PROBLEM_DESC_%d", type + 1);
}

std::u16string ProblemDetailKey(std::int32_t type) {
  if (!IsValidEntryType(type)) return {};
  return Format(u"IDS_PROBLEM_DETAIL_%d", type + 1);
}

std::string_view RepairRuleName(RepairRule rule) {
  switch (rule) {
    case R::kA:
      return "A";
    case R::kB:
      return "B";
    case R::kC:
      return "C";
    case R::kD:
      return "D";
    case R::kV:
      return "V";
    case R::kE:
      return "E";
    case R::kF:
      return "F";
    case R::kU:
      return "U";
    case R::kH1:
      return "H1";
    case R::kH2:
      return "H2";
  }
  return {};
}

namespace {

std::u16string_view ArgText(const CProblem& p, DescArg arg) {
  switch (arg) {
    case A::kLine0:
      return p.DisplayLine(0);
    case A::kLine1:
      return p.DisplayLine(1);
    case A::kLine2:
      return p.DisplayLine(2);
    case A::kLine3:
      return p.DisplayLine(3);
    case A::kKey:
      return p.Key;
    case A::kValueData:
      return p.ValueData;
    case A::kValueNameOrDefault:
      return p.ValueName.empty() ? std::u16string_view(u"DEFAULT") : p.ValueName;
  }
  return {};
}

}  // namespace

std::u16string ProblemDescriptionText(const CProblem* problem, const TextLookup& lookup) {
  if (problem == nullptr || !IsValidEntryType(problem->EntryType) || !lookup) return {};
  const EntryTypeInfo& info = kEntryTypeTable[static_cast<std::size_t>(problem->EntryType)];
  const std::u16string format = lookup(ProblemDescriptionKey(problem->EntryType));
  std::vector<FormatArg> args;
  for (std::size_t i = 0; i < info.argCount; ++i)
    args.emplace_back(ArgText(*problem, info.args[i]));
  return FormatArgs(format, args);
}

}  // namespace bc::engine
