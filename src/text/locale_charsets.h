// The charsets a locale can choose (see CodePageForLocale): Windows' ANSI
// code pages and UTF-8, named as SystemCharset names them. Every one of
// them reads bytes below 0x80 as ASCII.
#pragma once

#include <string_view>

namespace hid {

inline constexpr std::string_view kLocaleCharsets[] = {
    "UTF-8",  "CP874",  "CP932",  "CP936",  "CP949",  "CP950",  "CP1250", "CP1251",
    "CP1252", "CP1253", "CP1254", "CP1255", "CP1256", "CP1257", "CP1258"};

}  // namespace hid
