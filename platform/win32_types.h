// Windows-shaped scalar types, status codes and constants shared by the platform interface.
#pragma once

#include <cstdint>

namespace bc::platform {

using DWORD = std::uint32_t;
using LSTATUS = std::int32_t;
using REGSAM = std::uint32_t;
using BOOL = int;

// Registry key handle. The predefined roots have the values Windows gives them.
using HKEY = std::uintptr_t;
inline constexpr HKEY kNullKey = 0;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

// Status codes (winerror.h).
inline constexpr LSTATUS ERROR_SUCCESS = 0;
inline constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
inline constexpr LSTATUS ERROR_PATH_NOT_FOUND = 3;
inline constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
inline constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
inline constexpr LSTATUS ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr LSTATUS ERROR_INVALID_DRIVE = 15;
inline constexpr LSTATUS ERROR_NO_MORE_FILES = 18;
inline constexpr LSTATUS ERROR_WRITE_FAULT = 29;
inline constexpr LSTATUS ERROR_SHARING_VIOLATION = 32;
inline constexpr LSTATUS ERROR_FILE_EXISTS = 80;
inline constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
inline constexpr LSTATUS ERROR_CALL_NOT_IMPLEMENTED = 120;
inline constexpr LSTATUS ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr LSTATUS ERROR_INVALID_NAME = 123;
inline constexpr LSTATUS ERROR_DIR_NOT_EMPTY = 145;
inline constexpr LSTATUS ERROR_ALREADY_EXISTS = 183;
inline constexpr LSTATUS ERROR_MORE_DATA = 234;
inline constexpr LSTATUS ERROR_NO_MORE_ITEMS = 259;
inline constexpr LSTATUS ERROR_DIRECTORY = 267;
inline constexpr LSTATUS ERROR_BADDB = 1009;
inline constexpr LSTATUS ERROR_BADKEY = 1010;
inline constexpr LSTATUS ERROR_CANTOPEN = 1011;
inline constexpr LSTATUS ERROR_CANTREAD = 1012;
inline constexpr LSTATUS ERROR_CANTWRITE = 1013;
inline constexpr LSTATUS ERROR_REGISTRY_RECOVERED = 1014;
inline constexpr LSTATUS ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr LSTATUS ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr LSTATUS ERROR_NOT_REGISTRY_FILE = 1017;
inline constexpr LSTATUS ERROR_KEY_DELETED = 1018;
inline constexpr LSTATUS ERROR_KEY_HAS_CHILDREN = 1020;
inline constexpr LSTATUS ERROR_CHILD_MUST_BE_VOLATILE = 1021;
inline constexpr LSTATUS ERROR_CANCELLED = 1223;
inline constexpr LSTATUS ERROR_PRIVILEGE_NOT_HELD = 1314;

// Registry value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_RESOURCE_LIST = 8;
inline constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
inline constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
inline constexpr DWORD REG_QWORD = 11;

// Access rights and view bits.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_WOW64_RES = 0x0300;
inline constexpr REGSAM DELETE = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM WRITE_DAC = 0x00040000;
inline constexpr REGSAM WRITE_OWNER = 0x00080000;
inline constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
inline constexpr REGSAM GENERIC_READ = 0x80000000u;
inline constexpr REGSAM GENERIC_WRITE = 0x40000000u;
inline constexpr REGSAM GENERIC_ALL = 0x10000000u;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_WRITE = 0x00020006;
inline constexpr REGSAM KEY_EXECUTE = 0x00020019;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// Rights that modify a key or its values.
inline constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                                       DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                       GENERIC_ALL | MAXIMUM_ALLOWED;

// RegCreateKeyEx options and dispositions.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0;
inline constexpr DWORD REG_OPTION_VOLATILE = 0x1;
inline constexpr DWORD REG_OPTION_CREATE_LINK = 0x2;
inline constexpr DWORD REG_OPTION_BACKUP_RESTORE = 0x4;
inline constexpr DWORD REG_OPTION_OPEN_LINK = 0x8;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// RegSaveKeyEx formats.
inline constexpr DWORD REG_STANDARD_FORMAT = 1;
inline constexpr DWORD REG_LATEST_FORMAT = 2;
inline constexpr DWORD REG_NO_COMPRESSION = 4;

// Windows FILETIME as one number: 100 ns ticks since 1601-01-01 UTC.
using FileTime = std::uint64_t;

}  // namespace bc::platform
