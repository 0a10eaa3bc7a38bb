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
    std::vector<BoxEntry>& entries = m_boxEntries[box];
    for (BoxEntry& entry : entries) {
        if (entry.copyText) {
            entry.label = label;
            entry.copyText = std::move(text);
            return;
        }
    }
    BoxEntry entry;
    entry.label = label;
    entry.copyText = std::move(text);
    entries.push_back(std::move(entry));
}

void CQtContextMenu::AddCommand(QWidget* box, int command, const QString& label, bool checkable)
{
    BoxEntry entry;
    entry.label = label;
    entry.command = command;
    entry.checkable = checkable;
    m_boxEntries[box].push_back(std::move(entry));
}

void CQtContextMenu::SetChecked(QWidget* box, int command, bool checked)
{
    for (BoxEntry& entry : m_boxEntries[box])
        if (!entry.copyText && !entry.open && entry.command == command)
            entry.checked = checked;
}

void CQtContextMenu::AddOpener(QWidget* box, const QString& label, std::function<void()> open)
{
    BoxEntry entry;
    entry.label = label;
    entry.open = std::move(open);
    m_boxEntries[box].push_back(std::move(entry));
}

void CQtContextMenu::Watch(QWidget* widget) { widget->installEventFilter(this); }

void CQtContextMenu::AddBoxEntries(QMenu* menu, std::vector<BoxEntry>& entries)
{
    menu->addSeparator();
    for (const BoxEntry& entry : entries) {
        QAction* action = menu->addAction(entry.label);
        if (entry.copyText) {
            action->setObjectName(QStringLiteral("copyAll"));
            connect(action, &QAction::triggered, this, [source = entry.copyText] {
                QString text = QString::fromStdU16String(source());
                text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                QGuiApplication::clipboard()->setText(text);
            });
        } else if (entry.open) {
            action->setObjectName(QStringLiteral("open"));
            // Queued: the window takes the focus only once the menu is gone.
            connect(action, &QAction::triggered, this, entry.open, Qt::QueuedConnection);
        } else {
            action->setObjectName(QStringLiteral("command%1").arg(entry.command));
            action->setCheckable(entry.checkable);
            action->setChecked(entry.checked);
            const int command = entry.command;
            connect(action, &QAction::triggered, this,
                    [this, command] { m_handler.OnCommand(command); });
        }
    }
}

QMenu* CQtContextMenu::Create(QWidget* widget)
{
    QMenu* menu = nullptr;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        menu = edit->createStandardContextMenu();
    else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget))
        menu = edit->createStandardContextMenu();
    if (menu) {
        menu->setParent(&m_dialog, menu->windowFlags());
        if (auto it = m_boxEntries.find(widget); it != m_boxEntries.end() && !it->second.empty())
            AddBoxEntries(menu, it->second);
        if (!m_entries.empty() && m_entries.front().kind != wsys::MenuItem::Separator)
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
