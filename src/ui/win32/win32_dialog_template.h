// The in-memory DLGTEMPLATEEX of a dialog in resources.h, so that the
// Windows dialog manager builds the same layout as every other window
// system from the one table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resources.h"

namespace win32 {

// What a control of the template becomes on Windows.
struct ControlStyle {
    unsigned long style;
    unsigned long exStyle;
    std::uint16_t classAtom;  // 0x0080 button, 0x0081 edit, 0x0082 static
};

ControlStyle MapControlStyle(const res::ControlTemplate& c);
unsigned long MapDialogStyle(const res::DialogTemplate& t);

// One item of the built template, in the order the dialog manager creates
// them (its children's z-order): a control of the template, or the hidden
// label that names it, just before it.
struct TemplateItem {
    const res::ControlTemplate* control;
    bool label;
    int x, y, cx, cy;  // dialog units
};
std::vector<TemplateItem> TemplateItems(const res::DialogTemplate& t);

// The template, ready for DialogBoxIndirectParamW (DWORD-aligned storage),
// in the font `fontFace`. An edit control whose accessible name is not its
// text gets a hidden label just before it in the z-order: screen readers
// name an edit control by the label that precedes it.
std::vector<std::uint32_t> BuildDialogTemplate(const res::DialogTemplate& t,
                                               const std::u16string& fontFace,
                                               unsigned long extraExStyle);

}  // namespace win32
