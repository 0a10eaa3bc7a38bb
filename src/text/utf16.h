// UTF-16 as the program holds text: surrogate pairs, whole characters, and
// the narrow texts (ASCII, UTF-8) it meets at its edges. Header-only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

constexpr char32_t kReplacement = 0xFFFD;

constexpr bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
constexpr bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The character at s[i] and the index after it. A lone surrogate is
// returned as itself (a value no code page can hold), one unit long.
inline char32_t NextCodePoint(std::u16string_view s, std::size_t& i)
{
    const char32_t c = s[i++];
    if (IsHighSurrogate(c) && i < s.size() && IsLowSurrogate(s[i]))
        return 0x10000 + ((c - 0xD800) << 10) + (s[i++] - 0xDC00);
    return c;
}

// Appends one character; anything that is not a Unicode scalar value
// becomes U+FFFD.
inline void AppendCodePoint(std::u16string& out, char32_t c)
{
    if (c > 0x10FFFF || IsSurrogate(c))
        c = kReplacement;
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

inline bool HasLoneSurrogate(std::u16string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        if (IsSurrogate(NextCodePoint(s, i)))
            return true;
    }
    return false;
}

// The longest start of `s` at most `units` long that does not end inside
// a surrogate pair.
inline std::size_t WholeCharacterCut(std::u16string_view s, std::size_t units)
{
    if (units >= s.size())
        return s.size();
    if (units > 0 && IsHighSurrogate(s[units - 1]) && IsLowSurrogate(s[units]))
        --units;
    return units;
}

// ASCII (or Latin-1) to UTF-16, byte by byte.
inline std::u16string Widen(std::string_view latin1)
{
    std::u16string out;
    out.reserve(latin1.size());
    for (const char c : latin1)
        out.push_back(static_cast<unsigned char>(c));
    return out;
}

// For standard error and logs; a lone surrogate becomes U+FFFD.
inline std::string ToUtf8(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t c = NextCodePoint(s, i);
        if (IsSurrogate(c))
            c = kReplacement;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace text
