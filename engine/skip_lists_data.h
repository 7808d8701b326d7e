// Generated list data; do not edit by hand.
#pragma once

#include <array>
#include <string_view>

namespace bc::engine::skipdata {

extern const std::array<std::u16string_view, 534> kKeyClassIdEntries;
extern const std::array<std::u16string_view, 1134> kKeyOtherEntries;
extern const std::array<std::u16string_view, 409> kFileFixedEntries;

}  // namespace bc::engine::skipdata
