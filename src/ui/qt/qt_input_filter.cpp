#include "qt_input_filter.h"

#include <QApplication>
#include <QLineEdit>

#include <utility>

CQtInputFilter::CQtInputFilter(QLineEdit* edit, wsys::InputFilter accept)
    : QValidator(edit), m_pEdit(edit), m_accept(std::move(accept)), m_strShown(edit->text())
{
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { m_strShown = text; });
}

QValidator::State CQtInputFilter::validate(QString& input, int& pos) const
{
    if (m_bProgramText)
        return Acceptable;
    const wsys::FilteredChange change =
        wsys::FilterChange(m_strShown.toStdU16String(), input.toStdU16String(),
                           static_cast<std::size_t>(std::max(pos, 0)), m_accept);
    switch (change.outcome) {
    case wsys::FilteredChange::Outcome::Taken:
        return Acceptable;
    case wsys::FilteredChange::Outcome::Cut:
        input = QString::fromStdU16String(change.text);
        pos = static_cast<int>(change.end);
        QApplication::beep();  // as the Windows edit control does
        return Acceptable;
    case wsys::FilteredChange::Outcome::Refused:
        break;
    }
    QApplication::beep();
    // The line edit undoes the change, selection and all.
    return Invalid;
}

void CQtInputFilter::SetProgramText(const QString& text)
{
    m_bProgramText = true;
    m_pEdit->setText(text);
    m_bProgramText = false;
}
