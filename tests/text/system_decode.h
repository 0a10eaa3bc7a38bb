// What the system's own converter (iconv, MultiByteToWideChar) makes of
// bytes, to hold the text layer's shortcuts against. Each system's test
// file has its own.
#pragma once

#include <optional>
#include <string>

// The charset is named as SystemCharset names it. Nothing when the system
// refuses the bytes.
std::optional<std::u16string> SystemDecode(const std::string& charset, const std::string& bytes);
