// What each system converts its own way (codepage_iconv.cpp on Linux,
// codepage_win32.cpp on Windows). The rules around it, where a text ends
// and how it is cut, are written once over this. Internal to wendrel_text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "codepage.h"

namespace hid {

// Room for one character, shift sequences included.
using CharBytes = std::array<char, 16>;

// Characters into one charset, one at a time, so that the caller can stop
// between any two. An encoder serves one call on one thread.
class CCharEncoder {
public:
    virtual ~CCharEncoder() = default;
    // The bytes of c, a Unicode scalar value other than U+0000, or nothing
    // when the charset has no exact form of it: never a look-alike, never
    // a default character.
    virtual std::optional<std::size_t> Encode(char32_t c, CharBytes& bytes) = 0;
    // The bytes that return a stateful charset to its initial state.
    virtual std::size_t Finish(CharBytes&) { return 0; }
};

// An encoder for a charset named as iconv names it (never ""), or null when
// the system knows no such charset.
std::unique_ptr<CCharEncoder> OpenCharEncoder(const std::string& charset);

// data[0 .. length), which holds no zero byte, from a charset named as iconv
// names it (never ""): each sequence invalid there, or cut off at the end,
// becomes U+FFFD. Nothing when the system knows no such charset.
std::optional<std::u16string> DecodeCharset(const std::uint8_t* data, std::size_t length,
                                            const std::string& charset);

inline std::string ResolveCharset(const std::string& charset)
{
    return charset.empty() ? SystemCharset() : charset;
}

}  // namespace hid
