// A label is never cut: where the dialog font is wider than the one the
// template was drawn for, the label grows to the right, up to the dialog's
// edge, instead of clipping its text.
#pragma once

#include <algorithm>

namespace wsys {

// The width, in pixels, of a label at `left` in a dialog `dialogWidth`
// wide, whose template gives it `templateWidth` and whose text is
// `textWidth` wide (and a pixel to spare). Never narrower than the
// template made it.
inline int FittedLabelWidth(int templateWidth, int textWidth, int left, int dialogWidth)
{
    return std::max(templateWidth, std::min(textWidth + 1, dialogWidth - left));
}

}  // namespace wsys
