// The Windows ANSI code page of a POSIX locale name. Portable: it only
// reads the name, so a locale that is not installed still counts.
//
// The values are those Windows reports as a locale's default ANSI code page
// (LOCALE_IDEFAULTANSICODEPAGE). Languages Windows marks "Unicode only" get
// UTF-8 (65001): they have no ANSI code page to agree on, and UTF-8 is what
// such a Windows system uses as its ANSI code page once the system-wide
// UTF-8 option is on.
#include "codepage.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace hid {

namespace {

struct Entry {
    std::string_view language;
    int codePage;
};

constexpr Entry kLanguages[] = {
    // East Asian double-byte code pages (Chinese by territory, below).
    {"ja", 932}, {"ko", 949}, {"th", 874}, {"vi", 1258},
    // Central European
    {"bs", 1250}, {"cs", 1250}, {"hr", 1250}, {"hu", 1250}, {"pl", 1250},
    {"ro", 1250}, {"sk", 1250}, {"sl", 1250}, {"sq", 1250}, {"tk", 1250},
    // Cyrillic
    {"ba", 1251}, {"be", 1251}, {"bg", 1251}, {"kk", 1251}, {"ky", 1251},
    {"mk", 1251}, {"mn", 1251}, {"ru", 1251}, {"sah", 1251}, {"sr", 1251},
    {"tg", 1251}, {"tt", 1251}, {"uk", 1251},
    // Greek, Turkish (and Latin-script Turkic), Hebrew
    {"el", 1253}, {"az", 1254}, {"tr", 1254}, {"uz", 1254}, {"ku", 1254},
    {"he", 1255}, {"iw", 1255},
    // Arabic script
    {"ar", 1256}, {"ckb", 1256}, {"fa", 1256}, {"sd", 1256}, {"ug", 1256},
    {"ur", 1256},
    // Baltic
    {"et", 1257}, {"lt", 1257}, {"lv", 1257},
    // Unicode only on Windows
    {"am", 65001}, {"as", 65001}, {"bn", 65001}, {"bo", 65001}, {"chr", 65001},
    {"dv", 65001}, {"gu", 65001}, {"hi", 65001}, {"hy", 65001}, {"iu", 65001},
    {"ka", 65001}, {"km", 65001}, {"kn", 65001}, {"kok", 65001}, {"lo", 65001},
    {"mi", 65001}, {"ml", 65001}, {"mr", 65001}, {"mt", 65001}, {"my", 65001},
    {"ne", 65001}, {"or", 65001}, {"pa", 65001}, {"sa", 65001}, {"si", 65001},
    {"syr", 65001}, {"ta", 65001}, {"te", 65001}, {"ti", 65001},
    // Everything else, Western European languages among them, is 1252.
};

std::string Lower(std::string_view s)
{
    std::string out;
    for (char c : s)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

int CodePageForLocale(const std::string& locale)
{
    // language[_territory][.codeset][@modifier]
    const std::string_view name = locale;
    const std::size_t at = name.find('@');
    const std::string modifier = at == name.npos ? "" : Lower(name.substr(at + 1));
    const std::string_view base = name.substr(0, std::min(name.find('.'), at));
    const std::size_t underscore = base.find('_');
    const std::string language = Lower(base.substr(0, underscore));
    const std::string territory =
        underscore == base.npos ? "" : Lower(base.substr(underscore + 1));

    if (language == "zh")
        return territory == "tw" || territory == "hk" || territory == "mo" ? 950 : 936;
    // Script by modifier or territory, where a language is written in two.
    if (modifier == "latin" && language == "sr")
        return 1250;
    if (modifier == "cyrillic" && (language == "uz" || language == "az"))
        return 1251;
    if (language == "pa" && territory == "pk")
        return 1256;
    if (language == "az" && territory == "ir")
        return 1256;

    for (const Entry& e : kLanguages) {
        if (e.language == language)
            return e.codePage;
    }
    return 1252;
}

}  // namespace hid
