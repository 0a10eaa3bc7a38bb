#include "qt_line_recall.h"

#include <QKeyEvent>
#include <QLineEdit>

#include <utility>

CQtLineRecall::CQtLineRecall(QLineEdit* edit, wsys::IWindow::Recall recall,
                             std::function<void(const QString&)> show)
    : QObject(edit), m_pEdit(edit), m_recall(std::move(recall)), m_show(std::move(show))
{
    edit->installEventFilter(this);
}

bool CQtLineRecall::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_pEdit || event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Up && key->key() != Qt::Key_Down) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    if (const auto line = m_recall(key->key() == Qt::Key_Up, m_pEdit->text().toStdU16String())) {
        m_show(QString::fromStdU16String(*line));
        m_pEdit->setCursorPosition(static_cast<int>(m_pEdit->text().size()));
    }
    return true;
}
