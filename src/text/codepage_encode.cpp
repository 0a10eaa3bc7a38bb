// EncodeText and CanEncode, the same on every system: whole characters,
// each in its exact form, and the text ends before the first one the
// charset lacks.
#include <cstring>
#include <string_view>

#include "codepage.h"
#include "codepage_platform.h"
#include "utf16.h"

namespace hid {

namespace {

// A charset the system does not know still carries ASCII, so commands and
// numbers get through; the rest is refused rather than guessed.
class CAsciiEncoder final : public CCharEncoder {
public:
    std::optional<std::size_t> Encode(char32_t c, CharBytes& bytes) override
    {
        if (c >= 0x80) return std::nullopt;
        bytes[0] = static_cast<char>(c);
        return 1;
    }
};

std::unique_ptr<CCharEncoder> Open(const std::string& charset)
{
    std::unique_ptr<CCharEncoder> encoder = OpenCharEncoder(ResolveCharset(charset));
    if (!encoder) encoder = std::make_unique<CAsciiEncoder>();
    return encoder;
}

// Hands take(bytes, length) each character of the text up to its first
// U+0000, until take returns false or a character has no form in the
// charset (a lone surrogate has none). True when the whole text was taken.
template <class Take>
bool EachCharacter(std::u16string_view text, CCharEncoder& encoder, Take take)
{
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = text::NextCodePoint(text, i);
        if (c == 0) break;
        if (text::IsSurrogate(c)) return false;
        CharBytes bytes;
        const std::optional<std::size_t> length = encoder.Encode(c, bytes);
        if (!length || !take(bytes, *length)) return false;
    }
    return true;
}

}  // namespace

bool CanEncode(const std::u16string& text, const std::string& charset)
{
    return EachCharacter(text, *Open(charset), [](const CharBytes&, std::size_t) { return true; });
}

std::size_t EncodeText(const std::u16string& text, std::uint8_t* out, std::size_t capacity,
                       const std::string& charset)
{
    if (!out || capacity == 0) return 0;
    const std::size_t room = capacity - 1;  // the terminator always fits
    const std::unique_ptr<CCharEncoder> encoder = Open(charset);

    // A character with no form here ends the text: a stand-in would reach
    // the board as something the user never typed.
    std::size_t used = 0;
    const auto append = [&](const CharBytes& bytes, std::size_t length) {
        if (length > room - used) return false;
        std::memcpy(out + used, bytes.data(), length);
        used += length;
        return true;
    };
    EachCharacter(text, *encoder, append);

    // If the way back to the initial state does not fit, the text stays as
    // it is rather than overrun.
    CharBytes tail;
    append(tail, encoder->Finish(tail));
    out[used] = 0;
    return used;
}

}  // namespace hid
