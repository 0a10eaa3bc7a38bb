// The system code page on Windows: the ANSI code page (or the locale's
// legacy one where Windows is set to UTF-8), through MultiByteToWideChar
// and WideCharToMultiByte.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <string>

#include "codepage.h"
#include "codepage_platform.h"
#include "codepage_win32.h"
#include "utf16.h"

namespace hid {

namespace {

constexpr UINT kUnknown = 0xFFFFFFFF;

std::string Upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool AllDigits(const std::string& s)
{
    return !s.empty() && s.size() <= 5 &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// "CPnnn" and "WINDOWS-nnn" name code page nnn; a few names in iconv's
// spelling are known too, so that text can be named the same way on every
// system. kUnknown when Windows has no such code page.
UINT CodePageOf(const std::string& charset)
{
    const std::string name = Upper(charset);
    UINT cp = kUnknown;
    if (name == "UTF-8" || name == "UTF8") {
        cp = CP_UTF8;
    } else if (name.rfind("CP", 0) == 0 && AllDigits(name.substr(2))) {
        cp = static_cast<UINT>(std::stoul(name.substr(2)));
    } else if (name.rfind("WINDOWS-", 0) == 0 && AllDigits(name.substr(8))) {
        cp = static_cast<UINT>(std::stoul(name.substr(8)));
    } else if (name.rfind("ISO-8859-", 0) == 0 && AllDigits(name.substr(9))) {
        const unsigned long part = std::stoul(name.substr(9));
        if (part >= 1 && part <= 16) cp = static_cast<UINT>(28590 + part);
    } else if (name == "SHIFT_JIS" || name == "SJIS") {
        cp = 932;
    } else if (name == "EUC-JP") {
        cp = 20932;
    } else if (name == "US-ASCII" || name == "ASCII" || name == "ANSI_X3.4-1968") {
        cp = 20127;
    }
    if (cp == kUnknown || cp == CP_ACP || !IsValidCodePage(cp)) return kUnknown;
    return cp;
}

// The longest character of the code page, in bytes.
UINT MaxCharSize(UINT cp)
{
    CPINFO info{};
    if (!GetCPInfo(cp, &info) || info.MaxCharSize < 1) return 4;
    return std::min<UINT>(info.MaxCharSize, 8);
}

// Converts bytes that hold whole, valid characters only; false otherwise.
bool DecodeStrict(UINT cp, const char* bytes, int length, std::u16string& text)
{
    if (length == 0) return true;
    int units = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
    if (units <= 0) return false;
    const std::size_t at = text.size();
    text.resize(at + static_cast<std::size_t>(units));
    units = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes, length,
                                reinterpret_cast<wchar_t*>(&text[at]), units);
    if (units <= 0) {
        text.resize(at);
        return false;
    }
    text.resize(at + static_cast<std::size_t>(units));
    return true;
}

// Characters into a code page, each only in its exact form (no best fit,
// no default character).
class CWin32Encoder final : public CCharEncoder {
public:
    explicit CWin32Encoder(UINT cp) : m_nCodePage(cp) {}

    std::optional<std::size_t> Encode(char32_t c, CharBytes& bytes) override
    {
        const UINT cp = m_nCodePage;
        std::u16string units;
        text::AppendCodePoint(units, c);
        const auto* wide = reinterpret_cast<const wchar_t*>(units.data());
        const int count = static_cast<int>(units.size());
        const int size = static_cast<int>(bytes.size());
        int n = 0;
        if (cp == CP_UTF8) {
            n = WideCharToMultiByte(cp, WC_ERR_INVALID_CHARS, wide, count, bytes.data(), size,
                                    nullptr, nullptr);
            if (n <= 0) return std::nullopt;
            return static_cast<std::size_t>(n);
        }
        BOOL usedDefault = FALSE;
        n = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wide, count, bytes.data(), size,
                                nullptr, &usedDefault);
        if (n <= 0 && (GetLastError() == ERROR_INVALID_FLAGS ||
                       GetLastError() == ERROR_INVALID_PARAMETER)) {
            // Code pages that take no flags (the ISO-2022 family, GB18030):
            // the round trip below decides.
            usedDefault = FALSE;
            n = WideCharToMultiByte(cp, 0, wide, count, bytes.data(), size, nullptr, nullptr);
        }
        if (n <= 0 || usedDefault) return std::nullopt;
        // Only an exact round trip counts: never a look-alike, never '?'.
        std::u16string back;
        if (!DecodeStrict(cp, bytes.data(), n, back) || back != units) return std::nullopt;
        return static_cast<std::size_t>(n);
    }

private:
    UINT m_nCodePage;
};

// Whether bytes[0 .. left) is the start of a character that the end of the
// text cut off (bytes[0] begins no valid character by itself).
bool CutOffAtEnd(UINT cp, const std::uint8_t* bytes, std::size_t left)
{
    if (cp == CP_UTF8) {
        const std::uint8_t lead = bytes[0];
        const std::size_t need = lead >= 0xC2 && lead <= 0xDF   ? 2
                                 : lead >= 0xE0 && lead <= 0xEF ? 3
                                 : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                : 0;
        if (need == 0 || left >= need) return false;
        return std::all_of(bytes + 1, bytes + left,
                           [](std::uint8_t b) { return b >= 0x80 && b <= 0xBF; });
    }
    return left == 1 && IsDBCSLeadByteEx(cp, bytes[0]);
}

// The system locale's ANSI code page and name. GetLocaleInfoEx does not
// know LOCALE_NAME_SYSTEM_DEFAULT everywhere (Wine): then the LCID call,
// which reads the same data.
UINT SystemLocaleCodePage()
{
    DWORD cp = 0;
    const LCTYPE type = LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER;
    const int units = sizeof cp / sizeof(wchar_t);
    if (!GetLocaleInfoEx(LOCALE_NAME_SYSTEM_DEFAULT, type, reinterpret_cast<LPWSTR>(&cp), units) &&
        !GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, type, reinterpret_cast<LPWSTR>(&cp), units))
        return 0;
    return cp != 0 && IsValidCodePage(cp) ? cp : 0;
}

std::string SystemLocaleName()
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (!GetLocaleInfoEx(LOCALE_NAME_SYSTEM_DEFAULT, LOCALE_SNAME, name, LOCALE_NAME_MAX_LENGTH) &&
        !GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SNAME, name, LOCALE_NAME_MAX_LENGTH))
        return {};
    std::string out;
    for (const wchar_t* p = name; *p; ++p)
        out += *p < 0x80 ? static_cast<char>(*p) : '?';
    return out;
}

// A Windows locale name ("sr-Latn-RS") in the POSIX form
// CodePageForLocale reads ("sr_RS@latin").
std::string PosixLocaleName(const std::string& name)
{
    std::string language, territory, modifier;
    std::size_t at = 0;
    for (int part = 0; at <= name.size(); ++part) {
        const std::size_t end = std::min(name.find_first_of("-_", at), name.size());
        const std::string piece = name.substr(at, end - at);
        at = end + 1;
        if (part == 0)
            language = piece;
        else if (piece.size() == 4)  // a script
            modifier = Upper(piece) == "LATN" ? "latin" : Upper(piece) == "CYRL" ? "cyrillic" : "";
        else if (territory.empty())
            territory = piece;
    }
    std::string out = language;
    if (!territory.empty()) out += "_" + territory;
    if (!modifier.empty()) out += "@" + modifier;
    return out;
}

}  // namespace

unsigned ChooseAnsiCodePage(unsigned acp, unsigned localeCodePage, const std::string& localeName)
{
    if (acp != CP_UTF8 && acp != 0) return acp;
    if (localeCodePage != CP_UTF8 && localeCodePage != 0) return localeCodePage;
    if (localeName.empty()) return acp ? acp : CP_UTF8;
    return static_cast<unsigned>(CodePageForLocale(PosixLocaleName(localeName)));
}

std::string SystemCharset()
{
    // Asked once: the settings change only with a restart of Windows.
    static const unsigned cp = [] {
        const UINT acp = GetACP();
        if (acp != CP_UTF8) return static_cast<unsigned>(acp);
        return ChooseAnsiCodePage(acp, SystemLocaleCodePage(), SystemLocaleName());
    }();
    return "CP" + std::to_string(cp);
}

std::optional<std::u16string> DecodeCharset(const std::uint8_t* data, std::size_t length,
                                            const std::string& charset)
{
    const UINT cp = CodePageOf(charset);
    if (cp == kUnknown) return std::nullopt;
    const char* bytes = reinterpret_cast<const char*>(data);
    std::u16string text;
    if (length <= 0x7FFFFFFF && DecodeStrict(cp, bytes, static_cast<int>(length), text))
        return text;

    // Something is invalid: go character by character, taking at each
    // position the shortest run of bytes that is one valid character, and
    // marking a byte that starts none. A character cut off by the end of
    // the text gets one mark.
    text.clear();
    const std::size_t maxChar = MaxCharSize(cp);
    std::size_t i = 0;
    while (i < length) {
        bool found = false;
        std::size_t take = 1;
        for (; take <= maxChar && i + take <= length; ++take) {
            if (DecodeStrict(cp, bytes + i, static_cast<int>(take), text)) {
                found = true;
                break;
            }
        }
        if (found) {
            i += take;
            continue;
        }
        text::AppendCodePoint(text, text::kReplacement);
        if (CutOffAtEnd(cp, data + i, length - i)) break;
        ++i;
    }
    return text;
}

std::unique_ptr<CCharEncoder> OpenCharEncoder(const std::string& charset)
{
    const UINT cp = CodePageOf(charset);
    if (cp == kUnknown) return nullptr;
    return std::make_unique<CWin32Encoder>(cp);
}

}  // namespace hid
