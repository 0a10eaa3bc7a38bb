// An edit control's veto on every change the user makes, by the rule all
// window systems share (input_filter.h). Qt hands a validator the changed
// text and the caret; the text before the change is the one the control
// last showed.
#pragma once

#include <QString>
#include <QValidator>

#include "input_filter.h"

class QLineEdit;

class CQtInputFilter final : public QValidator {
public:
    // Owned by `edit`, which it watches.
    CQtInputFilter(QLineEdit* edit, wsys::InputFilter accept);

    State validate(QString& input, int& pos) const override;

    // Text the program sets is not the user's: it passes no filter.
    void SetProgramText(const QString& text);

private:
    QLineEdit* m_pEdit;
    wsys::InputFilter m_accept;
    QString m_strShown;  // what the control showed before the change
    bool m_bProgramText = false;
};
