// How the Windows build picks the system code page (codepage_win32.cpp).
#pragma once

#include <string>

namespace hid {

// The code page the board is spoken to in, from what Windows reports:
// `acp`, the ANSI code page (GetACP); `localeCodePage`, the system
// locale's own ANSI code page (0 when unknown); `localeName`, the system
// locale's name ("ja-JP", "sr-Latn-RS"; "" when unknown).
//
// Where Windows is set to use UTF-8 for the ANSI code page (and the
// program's manifest could not ask for the legacy one: Windows 10),
// GetACP() says 65001, but a board made for that language still speaks
// the legacy code page: the locale's own, or, where that too says UTF-8
// or nothing, the one Windows gives the locale's language
// (CodePageForLocale). Languages Windows has no ANSI code page for keep
// UTF-8.
unsigned ChooseAnsiCodePage(unsigned acp, unsigned localeCodePage,
                            const std::string& localeName);

}  // namespace hid
