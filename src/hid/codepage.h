// Text as the board carries it: the system code page on the wire, UTF-16 in
// the program.
//
// The system code page is, on Linux and macOS, the character set of the
// user's locale (the program's main calls setlocale(LC_ALL, "") first; this
// module never calls setlocale). A locale that names plain ASCII (the "C"
// locale) is taken as UTF-8, which agrees with ASCII on every ASCII byte and
// lets a board's non-ASCII text through instead of replacing it.
//
// Every call is thread-safe. A charset name of "" means the system code
// page; tests and tools may name one ("UTF-8", "EUC-JP", "ISO-8859-1").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hid {

// The name of the system code page, in the form iconv takes ("CP932",
// "CP1252"). On Windows, "CP" and the ANSI code page number. On Linux and
// macOS, the code page Windows assigns to the user's locale (see
// CodePageForLocale), so that a board speaks to this console as it does to
// a Windows PC set to the same language.
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
// with the terminator, never inside a multibyte character. A character the
// charset cannot represent, and a lone surrogate, becomes '?'. The text
// stops at its first U+0000. Bytes after the terminator are left as they
// are. With capacity 0 nothing is written and 0 is returned.
std::size_t EncodeText(const std::u16string& text, std::uint8_t* out,
                       std::size_t capacity, const std::string& charset = {});

}  // namespace hid
