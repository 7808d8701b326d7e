// The registry as the product sees it: the advapi32/shlwapi/sfc calls it relies on, with their
// Windows status codes and buffer rules. One implementation per host (platform/sim today).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/win32_types.h"

namespace bc::platform {

// RegQueryInfoKeyW's outputs. Lengths are in characters without the terminating NUL; maxValueLen
// is in bytes.
struct RegKeyInfo {
  DWORD subKeys = 0;
  DWORD maxSubKeyLen = 0;
  DWORD maxClassLen = 0;
  DWORD values = 0;
  DWORD maxValueNameLen = 0;
  DWORD maxValueLen = 0;
  FileTime lastWriteTime = 0;
};

// Every call behaves as its Windows namesake does for the calling process (its user, elevation
// and bitness). An empty sub-key or value name stands for a null pointer / the default value.
class IRegistry {
 public:
  virtual ~IRegistry() = default;

  virtual LSTATUS RegOpenKeyExW(HKEY key, std::u16string_view subKey, DWORD options, REGSAM sam,
                                HKEY* result) = 0;
  // disposition may be null.
  virtual LSTATUS RegCreateKeyExW(HKEY key, std::u16string_view subKey, DWORD options, REGSAM sam,
                                  HKEY* result, DWORD* disposition) = 0;
  virtual LSTATUS RegCloseKey(HKEY key) = 0;

  virtual LSTATUS RegQueryInfoKeyW(HKEY key, RegKeyInfo* info) = 0;

  // name receives at most *cchName characters including the NUL; on success *cchName is the length
  // without NUL; ERROR_MORE_DATA when the buffer is too small; ERROR_NO_MORE_ITEMS past the end.
  virtual LSTATUS RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* cchName) = 0;
  // As RegEnumKeyExW for the name; type, data and cbData may be null (data null: size query).
  virtual LSTATUS RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* cchName, DWORD* type,
                                std::uint8_t* data, DWORD* cbData) = 0;

  // data null: *cbData receives the size. Too small: ERROR_MORE_DATA and the needed size.
  virtual LSTATUS RegQueryValueExW(HKEY key, std::u16string_view valueName, DWORD* type,
                                   std::uint8_t* data, DWORD* cbData) = 0;
  virtual LSTATUS RegSetValueExW(HKEY key, std::u16string_view valueName, DWORD type,
                                 const std::uint8_t* data, DWORD cbData) = 0;
  virtual LSTATUS RegDeleteValueW(HKEY key, std::u16string_view valueName) = 0;

  // Deletes a key that has no sub-keys (else ERROR_ACCESS_DENIED as Windows answers).
  virtual LSTATUS RegDeleteKeyW(HKEY key, std::u16string_view subKey) = 0;
  // As RegDeleteKeyW in the view selected by samDesired's view bits.
  virtual LSTATUS RegDeleteKeyExW(HKEY key, std::u16string_view subKey, REGSAM samDesired) = 0;
  // Deletes a key and everything below it (shlwapi).
  virtual LSTATUS SHDeleteKeyW(HKEY key, std::u16string_view subKey) = 0;

  // Writes the hive holding key to its file now.
  virtual LSTATUS RegFlushKey(HKEY key) = 0;
  // Writes a compact hive file holding key and its subtree; file is a path on the machine.
  // Needs the backup privilege; fails with ERROR_ALREADY_EXISTS when the file exists.
  virtual LSTATUS RegSaveKeyW(HKEY key, std::u16string_view file) = 0;
  // Arranges for the hive holding key to be replaced by newFile at the next boot; the current
  // file is kept as oldFile. Needs the restore privilege.
  virtual LSTATUS RegReplaceKeyW(HKEY key, std::u16string_view subKey, std::u16string_view newFile,
                                 std::u16string_view oldFile) = 0;
  // Mounts / unmounts a hive file under HKEY_LOCAL_MACHINE or HKEY_USERS.
  virtual LSTATUS RegLoadKeyW(HKEY key, std::u16string_view subKey, std::u16string_view file) = 0;
  virtual LSTATUS RegUnLoadKeyW(HKEY key, std::u16string_view subKey) = 0;

  // sfc.dll's SfcIsKeyProtected, which only exists on Windows Vista and later.
  virtual bool HasSfcIsKeyProtected() const = 0;
  virtual BOOL SfcIsKeyProtected(HKEY key, std::u16string_view subKey, REGSAM view) = 0;
};

}  // namespace bc::platform
