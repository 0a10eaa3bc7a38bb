// Text as the board carries it: the system code page on the wire, UTF-16 in
// the program.
//
// The system code page is, on Linux, the Windows ANSI code page of the
// user's locale (LC_ALL, else LC_CTYPE, else LANG), so that a board
// firmware written for a Windows PC reads and writes the same bytes here.
//
// Every call is thread-safe. A charset name of "" means the system code
// page; tests and tools may name one ("UTF-8", "EUC-JP", "ISO-8859-1").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hid {

// The name of the system code page, in the form iconv takes ("CP932",
// "CP1252"). On Windows, "CP" and the ANSI code page number. On Linux, the
// code page Windows assigns to the user's locale (see CodePageForLocale), so
// that a board speaks to this console as it does to a Windows PC set to the
// same language.
std::string SystemCharset();

// The Windows ANSI code page for a POSIX locale name ("ja_JP.UTF-8",
// "de_DE@euro", "C"): 932 for Japanese, 1252 for Western languages, C,
// POSIX and anything unknown. Pure: the locale need not be installed.
int CodePageForLocale(const std::string& locale);

// Whether every character of `text` up to its first U+0000 has a form in
// the charset. A lone surrogate has none.
bool CanEncode(const std::u16string& text, const std::string& charset = {});

// Decodes bytes up to the first zero byte, or the whole buffer when it has
// none. A byte sequence that is invalid in the charset, or cut off at the
// end, becomes U+FFFD; no byte is dropped without a trace.
std::u16string DecodeText(const std::uint8_t* data, std::size_t size,
                          const std::string& charset = {});

// Encodes `text` into out[0 .. capacity) followed by a zero byte, and
// returns the number of text bytes (the terminator not counted). Text that
// does not fit is cut after the last whole character that fits together
// with the terminator, never inside a multibyte character. The text ends
// before the first character the charset cannot represent (or a lone
// surrogate), and at its first U+0000: nothing is sent in its place. Bytes
// after the terminator are left as they are. With capacity 0 nothing is
// written and 0 is returned.
std::size_t EncodeText(const std::u16string& text, std::uint8_t* out,
                       std::size_t capacity, const std::string& charset = {});

}  // namespace hid
