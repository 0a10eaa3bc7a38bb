#include "win32_dialog_font.h"

#include <cwchar>

#include "resources.h"
#include "win32_text.h"

namespace win32 {

namespace {

int CALLBACK CountFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return 0;  // one is enough
}

bool SameFace(const std::u16string& a, const wchar_t* b)
{
    return _wcsicmp(W(a), b) == 0;
}

}  // namespace

std::u16string PickDialogFace(const std::u16string& templateFace,
                              const std::u16string& messageFace,
                              const std::function<bool(const std::u16string&)>& exists)
{
    for (const std::u16string& face : {templateFace, std::u16string(kFallbackFace)}) {
        if (!face.empty() && exists(face))
            return face;
    }
    return messageFace.empty() ? templateFace : messageFace;
}

std::u16string ChooseDialogFace(const std::u16string& templateFace)
{
    return PickDialogFace(templateFace, MessageFontFace(), FaceExists);
}

bool FaceExists(const std::u16string& face)
{
    if (face.empty() || face.size() >= LF_FACESIZE)
        return false;
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    face.copy(reinterpret_cast<char16_t*>(lf.lfFaceName), face.size());
    HDC dc = GetDC(nullptr);
    if (!dc)
        return false;
    // The enumeration knows installed faces under every name they carry
    // (a Japanese face by its Japanese name too); the mapper's answer
    // also knows the faces FontSubstitutes stands in for.
    int count = 0;
    EnumFontFamiliesExW(dc, &lf, CountFace, reinterpret_cast<LPARAM>(&count), 0);
    bool found = count > 0;
    if (!found) {
        lf.lfHeight = -12;
        if (HFONT font = CreateFontIndirectW(&lf)) {
            HGDIOBJ old = SelectObject(dc, font);
            wchar_t got[LF_FACESIZE] = {};
            GetTextFaceW(dc, LF_FACESIZE, got);
            found = SameFace(face, got);
            SelectObject(dc, old);
            DeleteObject(font);
        }
    }
    ReleaseDC(nullptr, dc);
    return found;
}

std::u16string MessageFontFace()
{
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0))
        return {};
    return reinterpret_cast<const char16_t*>(ncm.lfMessageFont.lfFaceName);
}

BaseUnits MeasureBaseUnits(HFONT font)
{
    static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, kLetters, 52, &size);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {res::BaseUnitX(static_cast<int>(size.cx)), static_cast<int>(tm.tmHeight)};
}

}  // namespace win32
