// The system code page on Linux: the one Windows assigns to the user's
// locale, converted with iconv.
#include "codepage.h"
#include "codepage_platform.h"
#include "utf16.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>

namespace hid {

namespace {

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
    // Converts into out[0 .. size): the bytes written, or nothing on an
    // error. A null `in` flushes what the converter holds back.
    std::optional<std::size_t> ConvertInto(char** in, std::size_t* inLeft, char* out,
                                           std::size_t size)
    {
        std::size_t outLeft = size;
        int error = 0;
        if (Convert(in, inLeft, &out, &outLeft, error) == static_cast<std::size_t>(-1))
            return std::nullopt;
        return size - outLeft;
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

std::optional<std::u16string> DecodeCharset(const std::uint8_t* data, std::size_t length,
                                            const std::string& charset)
{
    Converter* conv = Get(charset, true);
    if (!conv) return std::nullopt;

    std::u16string text;
    char* in = reinterpret_cast<char*>(const_cast<std::uint8_t*>(data));
    std::size_t inLeft = length;
    char32_t chunk[128];
    while (inLeft > 0) {
        char* out = reinterpret_cast<char*>(chunk);
        std::size_t outLeft = sizeof chunk;
        int error = 0;
        std::size_t r = conv->Convert(&in, &inLeft, &out, &outLeft, error);
        std::size_t produced = (sizeof chunk - outLeft) / sizeof(char32_t);
        for (std::size_t i = 0; i < produced; ++i) text::AppendCodePoint(text, chunk[i]);
        if (r != static_cast<std::size_t>(-1)) break;
        if (error == E2BIG) continue;
        text::AppendCodePoint(text, text::kReplacement);
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
    const std::size_t flushed =
        conv->ConvertInto(nullptr, nullptr, reinterpret_cast<char*>(chunk), sizeof chunk)
            .value_or(0);
    for (std::size_t i = 0; i < flushed / sizeof(char32_t); ++i)
        text::AppendCodePoint(text, chunk[i]);
    return text;
}

namespace {

class CIconvEncoder final : public CCharEncoder {
public:
    explicit CIconvEncoder(Converter& conv) : m_conv(conv) {}

    std::optional<std::size_t> Encode(char32_t c, CharBytes& bytes) override
    {
        char* in = reinterpret_cast<char*>(&c);
        std::size_t inLeft = sizeof c;
        // A refused character leaves no output and the shift state as it was.
        return m_conv.ConvertInto(&in, &inLeft, bytes.data(), bytes.size());
    }

    std::size_t Finish(CharBytes& bytes) override
    {
        return m_conv.ConvertInto(nullptr, nullptr, bytes.data(), bytes.size()).value_or(0);
    }

private:
    Converter& m_conv;
};

}  // namespace

std::unique_ptr<CCharEncoder> OpenCharEncoder(const std::string& charset)
{
    Converter* conv = Get(charset, false);
    if (!conv) return nullptr;
    return std::make_unique<CIconvEncoder>(*conv);
}

}  // namespace hid
