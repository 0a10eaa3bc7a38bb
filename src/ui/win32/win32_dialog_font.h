// The dialog font. The templates name a Japanese face that only Japanese
// Windows and the optional Japanese fonts have; elsewhere Windows would
// pick an arbitrary Latin face for the layout and borrow the Japanese
// glyphs. The dialog is built in the first face that exists of: the
// template's, "Yu Gothic UI" (every Windows 10 and 11), the system's
// message font. The dialog manager measures its dialog units from the
// face the template carries, so the layout follows the face in use.
#pragma once

#include "win32_api.h"

#include <functional>
#include <string>

namespace win32 {

inline constexpr char16_t kFallbackFace[] = u"Yu Gothic UI";

// The choice itself: the first of the template's face and the fallback
// that `exists`, else the message font's face (else the template's, when
// the system names none).
std::u16string PickDialogFace(const std::u16string& templateFace,
                              const std::u16string& messageFace,
                              const std::function<bool(const std::u16string&)>& exists);

// The choice with this system's fonts.
std::u16string ChooseDialogFace(const std::u16string& templateFace);

// Whether the font mapper gives `face` itself (or the font that
// FontSubstitutes names for it) when asked for it.
bool FaceExists(const std::u16string& face);

// The face of the system's message font ("" when it cannot be read).
std::u16string MessageFontFace();

// The dialog base units of `font`: the average width of the 52 Latin
// letters and the character height, as the dialog manager measures them.
struct BaseUnits {
    int x = 0;
    int y = 0;
};
BaseUnits MeasureBaseUnits(HFONT font);

}  // namespace win32
