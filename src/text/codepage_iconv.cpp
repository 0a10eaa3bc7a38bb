// The system code page on Linux and macOS: the one Windows assigns to the
// user's locale, converted with iconv.
#include "codepage.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace hid {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

const char* Utf32Name()
{
    return std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";
}

class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (Ok()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    void Reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }
    // iconv(3), with errno returned beside the result.
    std::size_t Convert(char** in, std::size_t* inLeft, char** out, std::size_t* outLeft,
                        int& error)
    {
        errno = 0;
        std::size_t r = iconv(m_cd, in, inLeft, out, outLeft);
        error = errno;
        return r;
    }

private:
    iconv_t m_cd;
};

// One descriptor per thread and direction, kept while the charset stays the
// same: the reader decodes every report, thousands a second at times.
Converter* Get(const std::string& charset, bool decode)
{
    struct Slot {
        std::string charset;
        std::unique_ptr<Converter> conv;
    };
    thread_local Slot slots[2];
    Slot& slot = slots[decode ? 1 : 0];
    if (!slot.conv || slot.charset != charset) {
        slot.conv = decode ? std::make_unique<Converter>(Utf32Name(), charset.c_str())
                           : std::make_unique<Converter>(charset.c_str(), Utf32Name());
        slot.charset = charset;
    }
    if (!slot.conv->Ok()) return nullptr;
    slot.conv->Reset();
    return slot.conv.get();
}

void AppendUtf16(std::u16string& s, char32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
    if (c >= 0x10000) {
        c -= 0x10000;
        s.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        s.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        s.push_back(static_cast<char16_t>(c));
    }
}

std::string Resolve(const std::string& charset)
{
    return charset.empty() ? SystemCharset() : charset;
}

// The charsets a locale can choose (Windows' ANSI code pages and UTF-8)
// all give bytes below 0x80 their ASCII meaning, so text of such bytes
// alone needs no converter: most reports are plain ASCII.
bool AsciiCompatible(const std::string& charset)
{
    static constexpr const char* kNames[] = {
        "UTF-8",  "CP874",  "CP932",  "CP936",  "CP949",  "CP950",  "CP1250",
        "CP1251", "CP1252", "CP1253", "CP1254", "CP1255", "CP1256", "CP1257", "CP1258"};
    for (const char* name : kNames)
        if (charset == name) return true;
    return false;
}

}  // namespace

std::string SystemCharset()
{
    // The locale that governs character classification, as setlocale
    // would pick it, but by name alone: it need not be installed.
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    const int codePage = CodePageForLocale(locale);
    return codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
}

std::u16string DecodeText(const std::uint8_t* data, std::size_t size,
                          const std::string& charset)
{
    std::u16string text;
    if (!data || size == 0) return text;
    std::size_t length = std::find(data, data + size, 0) - data;
    const std::string resolved = Resolve(charset);

    if (std::all_of(data, data + length, [](std::uint8_t b) { return b < 0x80; }) &&
        AsciiCompatible(resolved)) {
        text.assign(data, data + length);
        return text;
    }

    Converter* conv = Get(resolved, true);
    if (!conv) {
        // Unknown charset: keep ASCII, mark the rest.
        for (std::size_t i = 0; i < length; ++i)
            AppendUtf16(text, data[i] < 0x80 ? data[i] : kReplacement);
        return text;
    }

    char* in = reinterpret_cast<char*>(const_cast<std::uint8_t*>(data));
    std::size_t inLeft = length;
    char32_t chunk[128];
    while (inLeft > 0) {
        char* out = reinterpret_cast<char*>(chunk);
        std::size_t outLeft = sizeof chunk;
        int error = 0;
        std::size_t r = conv->Convert(&in, &inLeft, &out, &outLeft, error);
        std::size_t produced = (sizeof chunk - outLeft) / sizeof(char32_t);
        for (std::size_t i = 0; i < produced; ++i) AppendUtf16(text, chunk[i]);
        if (r != static_cast<std::size_t>(-1)) break;
        if (error == E2BIG) continue;
        AppendUtf16(text, kReplacement);
        if (error == EILSEQ) {
            // Skip one byte and go on: the next character may well be fine.
            ++in;
            --inLeft;
            conv->Reset();
            continue;
        }
        break;  // EINVAL: a sequence cut off at the end; one mark for it
    }
    // A converter may hold the last character back (CP1258 waits for a
    // combining mark that could follow it): the report ends here.
    char* out = reinterpret_cast<char*>(chunk);
    std::size_t outLeft = sizeof chunk;
    int error = 0;
    if (conv->Convert(nullptr, nullptr, &out, &outLeft, error) != static_cast<std::size_t>(-1)) {
        const std::size_t produced = (sizeof chunk - outLeft) / sizeof(char32_t);
        for (std::size_t i = 0; i < produced; ++i) AppendUtf16(text, chunk[i]);
    }
    return text;
}

namespace {

// The charset's bytes for one character, or nothing when it has none.
std::optional<std::size_t> EncodeOne(Converter* conv, char32_t c, char (&bytes)[32])
{
    if (c >= 0xD800 && c <= 0xDFFF) return std::nullopt;  // a lone surrogate
    if (!conv) {
        if (c >= 0x80) return std::nullopt;
        bytes[0] = static_cast<char>(c);
        return 1;
    }
    char* in = reinterpret_cast<char*>(&c);
    std::size_t inLeft = sizeof c;
    char* o = bytes;
    std::size_t outLeft = sizeof bytes;
    int error = 0;
    // A refused character leaves no output and the shift state as it was.
    if (conv->Convert(&in, &inLeft, &o, &outLeft, error) == static_cast<std::size_t>(-1))
        return std::nullopt;
    return sizeof bytes - outLeft;
}

// The next character of `text` from `i` (a pair as one), moving `i` past it.
char32_t NextChar(const std::u16string& text, std::size_t& i)
{
    char32_t c = text[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 &&
        text[i] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i] - 0xDC00);
        ++i;
    }
    return c;
}

}  // namespace

bool CanEncode(const std::u16string& text, const std::string& charset)
{
    Converter* conv = Get(Resolve(charset), false);
    char bytes[32];
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = NextChar(text, i);
        if (c == 0) break;
        if (!EncodeOne(conv, c, bytes)) return false;
    }
    return true;
}

std::size_t EncodeText(const std::u16string& text, std::uint8_t* out, std::size_t capacity,
                       const std::string& charset)
{
    if (!out || capacity == 0) return 0;
    const std::size_t room = capacity - 1;  // the terminator always fits
    Converter* conv = Get(Resolve(charset), false);

    // One character at a time, so that a cut never splits one. The text
    // ends before a character the charset lacks: a stand-in byte would
    // reach the board as a character nobody typed.
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = NextChar(text, i);
        if (c == 0) break;
        char bytes[32];
        const std::optional<std::size_t> length = EncodeOne(conv, c, bytes);
        if (!length || *length > room - used) break;
        std::memcpy(out + used, bytes, *length);
        used += *length;
    }

    if (conv) {
        // A stateful charset returns to its initial state here; if that
        // does not fit, the text stays as it is rather than overrun.
        char bytes[32];
        char* o = bytes;
        std::size_t outLeft = sizeof bytes;
        int error = 0;
        if (conv->Convert(nullptr, nullptr, &o, &outLeft, error) != static_cast<std::size_t>(-1)) {
            std::size_t length = sizeof bytes - outLeft;
            if (length <= room - used) {
                std::memcpy(out + used, bytes, length);
                used += length;
            }
        }
    }
    out[used] = 0;
    return used;
}

}  // namespace hid
