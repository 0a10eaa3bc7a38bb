#include "qt_context_menu.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>

#include <utility>

CQtContextMenu::CQtContextMenu(QDialog& dialog, wsys::IDialogHandler& handler, bool minimizeBox)
    : QObject(&dialog), m_dialog(dialog), m_handler(handler), m_bMinimizeBox(minimizeBox)
{
}

void CQtContextMenu::Append(wsys::MenuItem kind, int id, const QString& text)
{
    m_entries.push_back({kind, id, text});
}

void CQtContextMenu::SetCopyAll(QWidget* box, const QString& label,
                                std::function<std::u16string()> text)
{
    m_copyAll[box] = {label, std::move(text)};
}

void CQtContextMenu::Watch(QWidget* widget) { widget->installEventFilter(this); }

QMenu* CQtContextMenu::Create(QWidget* widget)
{
    QMenu* menu = nullptr;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        menu = edit->createStandardContextMenu();
    else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget))
        menu = edit->createStandardContextMenu();
    if (menu) {
        menu->setParent(&m_dialog, menu->windowFlags());
        if (auto it = m_copyAll.find(widget); it != m_copyAll.end()) {
            QAction* all = menu->addAction(it->second.label);
            all->setObjectName(QStringLiteral("copyAll"));
            connect(all, &QAction::triggered, this, [source = it->second.text] {
                QString text = QString::fromStdU16String(source());
                text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                QGuiApplication::clipboard()->setText(text);
            });
        }
        menu->addSeparator();
    } else {
        // The window's own entries, as a window menu has them.
        menu = new QMenu(&m_dialog);
        if (m_bMinimizeBox)
            connect(menu->addAction(QStringLiteral("最小化(&N)")), &QAction::triggered, this,
                    [this] { m_dialog.showMinimized(); });
        connect(menu->addAction(QStringLiteral("閉じる(&C)")), &QAction::triggered, this,
                [this] { m_dialog.close(); }, Qt::QueuedConnection);
    }
    menu->setObjectName(QStringLiteral("windowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const Entry& entry : m_entries) {
        if (entry.kind == wsys::MenuItem::Separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(entry.text);
        action->setObjectName(QStringLiteral("sysCommand%1").arg(entry.id));
        const int id = entry.id;
        // Queued, so that the menu has closed before a modal box opens.
        connect(action, &QAction::triggered, this, [this, id] { m_handler.OnSysCommand(id, 0); },
                Qt::QueuedConnection);
    }
    return menu;
}

void CQtContextMenu::Show(QWidget* widget, const QPoint& globalPos)
{
    m_bShown = true;
    QMenu* menu = Create(widget);
    menu->popup(globalPos);
    // Screen readers that keep a copy of the tree learn of it here.
    QAccessibleEvent shown(menu, QAccessible::ObjectCreated);
    QAccessible::updateAccessibility(&shown);
}

bool CQtContextMenu::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    switch (event->type()) {
    case QEvent::ContextMenu:
        // The edit controls' menus carry the window menu's entries too.
        if (widget->contextMenuPolicy() == Qt::CustomContextMenu) {
            Show(widget, static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
        return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // The Menu key and Shift+F10 open the context menu of the focused
        // control. Some platforms turn the Menu key into a context-menu
        // event themselves (on the press); the release opens it only where
        // none came.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat())
            return false;
        if (event->type() == QEvent::KeyPress) {
            const bool menuKey = key->key() == Qt::Key_Menu ||
                                 (key->key() == Qt::Key_F10 &&
                                  (key->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier);
            if (!menuKey)
                return false;
            m_nMenuKey = key->key();
            m_bShown = false;
            return true;
        }
        // Shift may already be up when F10 is released.
        if (m_nMenuKey == 0 || key->key() != m_nMenuKey)
            return false;
        m_nMenuKey = 0;
        if (!m_bShown) {
            QWidget* target = m_dialog.focusWidget() ? m_dialog.focusWidget() : &m_dialog;
            Show(target, target->mapToGlobal(target->rect().center()));
        }
        return true;
    }
    default:
        return false;
    }
}
