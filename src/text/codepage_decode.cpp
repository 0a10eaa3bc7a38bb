// DecodeText, the same on every system around the conversion itself: the
// text ends at the first zero byte, plain ASCII needs no converter, and a
// charset the system does not know still shows its ASCII.
#include <algorithm>
#include <iterator>

#include "codepage.h"
#include "codepage_platform.h"
#include "locale_charsets.h"
#include "utf16.h"

namespace hid {

std::u16string DecodeText(const std::uint8_t* data, std::size_t size,
                          const std::string& charset)
{
    if (!data || size == 0) return {};
    const std::size_t length = static_cast<std::size_t>(std::find(data, data + size, 0) - data);
    const std::string resolved = ResolveCharset(charset);

    // Most reports are plain ASCII, which every charset a locale can
    // choose reads as ASCII.
    if (std::all_of(data, data + length, [](std::uint8_t b) { return b < 0x80; }) &&
        std::find(std::begin(kLocaleCharsets), std::end(kLocaleCharsets), resolved) !=
            std::end(kLocaleCharsets))
        return std::u16string(data, data + length);

    if (std::optional<std::u16string> text = DecodeCharset(data, length, resolved))
        return std::move(*text);

    // Unknown charset: keep ASCII, mark the rest.
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i)
        text::AppendCodePoint(text, data[i] < 0x80 ? data[i] : text::kReplacement);
    return text;
}

}  // namespace hid
