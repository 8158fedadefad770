#pragma once
// The register keys the program itself uses. Keys below FirstParameterKey are
// the device's identity and control registers; from there up they are its
// parameters.
#include <cstdint>

inline constexpr uint32_t NameKeyFirst = 16;       // eight name characters, 16 to 30
inline constexpr uint32_t NameKeyLast = 30;
inline constexpr uint32_t VersionKey = 32;
inline constexpr uint32_t ReleaseKey = 34;
inline constexpr uint32_t ParameterVersionKey = 36;
inline constexpr uint32_t Identity40Key = 40;
inline constexpr uint32_t Identity44Key = 44;
inline constexpr uint32_t StatusKey = 46;          // polled by the main window
inline constexpr uint32_t PasswordKey = 48;
inline constexpr uint32_t RestartKey = 58;         // written 0x55
inline constexpr uint32_t AddressKey = 60;
inline constexpr uint32_t AccessKey = 62;          // parameter access
inline constexpr uint32_t ExtendedAccessKey = 68;
inline constexpr uint32_t FirstParameterKey = 0x0100;
