// Win32 result codes, value types and access rights that the platform layer exchanges.
// Numbers are those of the Windows SDK, so results mean the same on every backend.
#pragma once

#include <cstdint>

namespace netvane::platform {

// Win32 error codes.
inline constexpr int32_t kErrorSuccess = 0;
inline constexpr int32_t kErrorFileNotFound = 2;
inline constexpr int32_t kErrorPathNotFound = 3;
inline constexpr int32_t kErrorAccessDenied = 5;
inline constexpr int32_t kErrorInvalidHandle = 6;
inline constexpr int32_t kErrorNotEnoughMemory = 8;
inline constexpr int32_t kErrorOutOfMemory = 14;
inline constexpr int32_t kErrorNoMoreFiles = 18;
inline constexpr int32_t kErrorNotSupported = 50;
inline constexpr int32_t kErrorInvalidParameter = 87;
inline constexpr int32_t kErrorDiskFull = 112;
inline constexpr int32_t kErrorInsufficientBuffer = 122;
inline constexpr int32_t kErrorBadPathname = 161;
inline constexpr int32_t kErrorBusy = 170;
inline constexpr int32_t kErrorBadExeFormat = 193;
inline constexpr int32_t kErrorMoreData = 234;
inline constexpr int32_t kErrorNoMoreItems = 259;
inline constexpr int32_t kErrorRegistryCorrupt = 1015;
inline constexpr int32_t kErrorRegistryIoFailed = 1016;
inline constexpr int32_t kErrorKeyDeleted = 1018;
// A lasting key cannot be made below a volatile one.
inline constexpr int32_t kErrorChildMustBeVolatile = 1021;
// What Windows answers when a key would lie deeper than the registry allows.
inline constexpr int32_t kErrorNoSystemResources = 1450;

// ShellExecute's results: above kShellExecuteLastError is success, anything else the error.
inline constexpr int32_t kShellErrorFileNotFound = 2;
inline constexpr int32_t kShellErrorNoAssociation = 31;
inline constexpr int32_t kShellExecuteLastError = 32;

// Windows Sockets error codes; a socket error without a Winsock name is kWsaBase + errno.
inline constexpr int32_t kWsaBase = 10000;
inline constexpr int32_t kWsaAccessDenied = 10013;
inline constexpr int32_t kWsaMessageTooLong = 10040;
inline constexpr int32_t kWsaAddressInUse = 10048;
inline constexpr int32_t kWsaAddressNotAvailable = 10049;
inline constexpr int32_t kWsaNetworkUnreachable = 10051;
inline constexpr int32_t kWsaHostNotFound = 11001;
// The socket control's own errors.
inline constexpr int32_t kSocketWrongState = 40006;
inline constexpr int32_t kSocketInvalidOperation = 40020;

// Registry value types.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

// Registry access rights.
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr uint32_t kKeyNotify = 0x0010;
inline constexpr uint32_t kKeyCreateLink = 0x0020;
inline constexpr uint32_t kReadControl = 0x00020000;
inline constexpr uint32_t kKeyRead = 0x00020019;
inline constexpr uint32_t kKeyWrite = 0x00020006;
inline constexpr uint32_t kKeyAllAccess = 0x000F003F;

}  // namespace netvane::platform
