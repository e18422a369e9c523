#pragma once

#include <cstdio>
#include <string>

// `text` as a JSON string in ASCII: UTF-16 units outside printable ASCII are escaped one by one, so
// any text, unpaired surrogates included, comes through for the harness to read.
inline std::string jsonString(const std::wstring& text) {
    std::string out = "\"";
    char escape[8];
    for (const wchar_t unit : text) {
        if (unit == L'"' || unit == L'\\') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit >= 0x20 && unit < 0x7f) {
            out += static_cast<char>(unit);
        } else {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
            out += escape;
        }
    }
    return out + "\"";
}
