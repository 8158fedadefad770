#pragma once
// Character classes the readers of language files, typed numbers, config.ini
// and bus entries share: the C locale's white space and hexadecimal digits.

// Blank, tab, line feed, vertical tab, form feed or carriage return.
inline bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of a hexadecimal digit of either case, or -1.
inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
