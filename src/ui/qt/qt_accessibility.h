// The dialogs as screen readers see them.
#pragma once

#include <QString>

class QLabel;

// Once per program, before the first dialog: a dialog's accessible tree
// holds its open context menu, which Qt would leave out (a popup is a
// window of its own).
void InstallDialogAccessibility();

// A control's accessible name where it has no label of its own: its text
// without the '&' that marks the mnemonic ("&&" is a plain '&').
QString WithoutMnemonic(QString text);

// A label's accessible name is its text (Qt's default while none is set),
// which is what screen readers speak; its tooltip's explanation is its
// description. Called whenever either changes.
void DescribeLabel(QLabel* label);
