#pragma once
// Hexadecimal digits: reading either case, writing upper case.

#include <string>

namespace vireo {

// The value of a hexadecimal digit, or -1 for any other character.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The upper-case digit of the low four bits of value.
inline char HexDigit(unsigned value) {
    return "0123456789ABCDEF"[value & 15];
}

// Appends the byte as two upper-case digits.
inline void AppendHexByte(std::string& out, unsigned char byte) {
    out += HexDigit(byte >> 4);
    out += HexDigit(byte);
}

} // namespace vireo
