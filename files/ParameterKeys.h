#pragma once
// The keys of the parameter text and the parameter file: "#", a four-letter
// tag, ":" and a blank, seven characters each.
#include <cstddef>

inline constexpr size_t KEY_SIZE = 7;

inline constexpr const char* KEY_DATE = "#DATE: ";
inline constexpr const char* KEY_NAME = "#NAME: ";
inline constexpr const char* KEY_ADDR = "#ADDR: ";
inline constexpr const char* KEY_VER = "#VER.: ";
inline constexpr const char* KEY_REL = "#REL.: ";
inline constexpr const char* KEY_PVER = "#PVER: ";
inline constexpr const char* KEY_PSWD = "#PSWD: ";
inline constexpr const char* KEY_FREE = "#FREE: ";
inline constexpr const char* KEY_CODE = "#CODE: ";
inline constexpr const char* KEY_DATA = "#DATA: ";
// The file on disk.
inline constexpr const char* KEY_CRPT = "#CRPT: ";
inline constexpr const char* KEY_CBEG = "#CBEG: ";
inline constexpr const char* KEY_CEND = "#CEND: ";
inline constexpr const char* KEY_END = "#END.: ";
