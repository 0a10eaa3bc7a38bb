// The user's keys, typing and wheel on Qt widgets, for the contract's
// driver: what a keyboard and a mouse would send.
#pragma once

#include <Qt>

#include <string>

#include "window_contract.h"

class QWidget;

namespace qt_input {

// `key` pressed and released with the focus in `w`; `w`'s window is made
// the active one first, as it is while the user types in it.
void Press(QWidget* w, contract::Key key);
// Key by key; a surrogate pair is one key.
void Type(QWidget* w, const std::u16string& text);
// `notches` of the wheel over the middle of `w`, away from the user.
void Wheel(QWidget* w, int notches, Qt::KeyboardModifiers mods = Qt::NoModifier);

}  // namespace qt_input
