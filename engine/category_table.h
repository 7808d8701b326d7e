// The fourteen scan categories: bits, classes, text keys, pictures and scan groups, and the fixed
// order the scan walks them in.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace bc::engine {

inline constexpr int kCategoryCount = 14;
inline constexpr std::uint32_t kAllCategories = 0x3FFF;

struct CategoryInfo {
  int index;  // bit = 1 << index
  std::uint32_t bit;
  std::string_view className;
  std::u16string_view nameKey;
  std::u16string_view descriptionKey;
  std::u16string_view briefDescriptionKey;
  std::u16string_view picture;
  int scanGroup;  // 1 system, 2 COM and ActiveX, 3 user, 4 start-up and uninstall
};

// In index (bit) order.
inline constexpr std::array<CategoryInfo, kCategoryCount> kCategoryTable{{
    {0, 0x0001, "CActiveX", u"IDS_ACTIVEX_COM", u"IDS_DES_ACTIVEX_COM", u"IDS_BDES_ACTIVEX_COM",
     u"ICONACTIVEX_32.BMP", 2},
    {1, 0x0002, "CAppPaths", u"IDS_APPLICATION", u"IDS_DES_APPLICATION", u"IDS_BDES_APPLICATION",
     u"ICONAPPPATHS_32.BMP", 1},
    {2, 0x0004, "CFileTypes", u"IDS_FILE_TYPE", u"IDS_DES_FILE_TYPE", u"IDS_BDES_FILE_TYPE",
     u"ICONFILETYPES_32.BMP", 2},
    {3, 0x0008, "CFonts", u"IDS_FONTS", u"IDS_DES_FONTS", u"IDS_BDES_FONTS", u"ICONFONTS_32.BMP",
     1},
    {4, 0x0010, "CHelpFiles", u"IDS_HELP_FILES", u"IDS_DES_HELP_FILES", u"IDS_BDES_HELP_FILES",
     u"ICONHELPFILES_32.BMP", 1},
    {5, 0x0020, "CHistoryLists", u"IDS_HISTORYLIST", u"IDS_DES_HISTORYLIST",
     u"IDS_BDES_HISTORYLIST", u"ICONHISTORYLISTS_32.BMP", 3},
    {6, 0x0040, "CSharedFiles", u"IDS_SHAREDFILES", u"IDS_DES_SHAREDFILES", u"IDS_BDES_SHAREDFILES",
     u"ICONSHAREDFILES_32.BMP", 1},
    {7, 0x0080, "CShortcuts", u"IDS_SHORTCUTS", u"IDS_DES_SHORTCUTS", u"IDS_BDES_SHORTCUTS",
     u"ICONSHORTCUTS_32.BMP", 3},
    {8, 0x0100, "CSoftware", u"IDS_SOFTWARE", u"IDS_DES_SOFTWARE", u"IDS_BDES_SOFTWARE",
     u"ICONSOFTWARE_32.BMP", 4},
    {9, 0x0200, "CSounds", u"IDS_SOUNDS", u"IDS_DES_SOUNDS", u"IDS_BDES_SOUNDS",
     u"ICONSOUNDS_32.BMP", 3},
    {10, 0x0400, "CStartMenu", u"IDS_STARTMENU", u"IDS_DES_STARTMENU", u"IDS_BDES_STARTMENU",
     u"ICONSTARTMENU_32.BMP", 4},
    {11, 0x0800, "CStartup", u"IDS_STARTUP", u"IDS_DES_STARTUP", u"IDS_BDES_STARTUP",
     u"ICONSTARTUP_32.BMP", 4},
    {12, 0x1000, "CDeepScanLM", u"IDS_DEEP_SCAN", u"IDS_DES_DEEP_SCAN", u"IDS_BDES_DEEP_SCAN",
     u"ICONDEEPSCANLM_32.BMP", 1},
    {13, 0x2000, "CDeepScanCU", u"IDS_CURRENTUSER", u"IDS_DES_CURRENTUSER", u"IDS_BDES_CURRENTUSER",
     u"ICONDEEPSCANCU_32.BMP", 3},
}};

// Masks of the four scan groups, indexed by group number - 1.
inline constexpr std::array<std::uint32_t, 4> kScanGroupMasks{0x105A, 0x0005, 0x22A0, 0x0D00};

// The order the scan thread walks the categories in: the groups in turn, in each group a fixed
// order that is not bit order.
inline constexpr std::array<std::uint32_t, kCategoryCount> kScanOrder{
    0x0002, 0x0008, 0x0010, 0x0040, 0x1000,  // group 1
    0x0001, 0x0004,                          // group 2
    0x0020, 0x0080, 0x0200, 0x2000,          // group 3
    0x0400, 0x0800, 0x0100,                  // group 4
};

// The entry for a bit, or nullptr when the value is not exactly one of the fourteen bits.
const CategoryInfo* FindCategory(std::uint32_t bit);
// The mask of a scan group 1-4; 0 for any other number.
std::uint32_t ScanGroupMask(int group);

}  // namespace bc::engine
