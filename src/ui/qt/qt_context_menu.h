// The dialog's context menu, standing in for the window menu, which the
// window manager owns on Linux: the right mouse button, the Menu key and
// Shift+F10 open it over the dialog or the focused control. Over an edit
// control it starts with the control's own entries, and, in a box that
// has entries of its own (commands, find, copy every row), a separator
// and those, in the order they were added; it always ends with the window
// menu's entries.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "window_system.h"

class QDialog;
class QMenu;
class QWidget;

class CQtContextMenu final : public QObject {
public:
    // `minimizeBox`: the dialog can be minimised, so the menu offers it.
    CQtContextMenu(QDialog& dialog, wsys::IDialogHandler& handler, bool minimizeBox);

    // A window-menu entry; chosen, it goes to the handler's OnSysCommand.
    void Append(wsys::MenuItem kind, int id, const QString& text);
    // The entry in `box`'s menu that puts `text()` on the clipboard.
    void SetCopyAll(QWidget* box, const QString& label, std::function<std::u16string()> text);
    // An entry in `box`'s menu that goes to the handler's OnCommand.
    void AddCommand(QWidget* box, int command, const QString& label, bool checkable);
    void SetChecked(QWidget* box, int command, bool checked);
    // An entry in `box`'s menu that calls `open` once the menu has closed.
    void AddOpener(QWidget* box, const QString& label, std::function<void()> open);

    // Opens the menu on the keys and clicks that ask for it over `widget`.
    void Watch(QWidget* widget);

    // The menu over `widget`, not shown yet; deleted when it closes.
    QMenu* Create(QWidget* widget);
    void Show(QWidget* widget, const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        wsys::MenuItem kind;
        int id;
        QString text;
    };
    // An entry of a box's own: one of the three kinds, by what is set.
    struct BoxEntry {
        QString label;
        std::function<std::u16string()> copyText;  // copies every row
        std::function<void()> open;                 // opens a window
        int command = 0;                            // otherwise: a command
        bool checkable = false;
        bool checked = false;
    };
    void AddBoxEntries(QMenu* menu, std::vector<BoxEntry>& entries);

    QDialog& m_dialog;
    wsys::IDialogHandler& m_handler;
    const bool m_bMinimizeBox;
    std::vector<Entry> m_entries;
    std::map<QWidget*, std::vector<BoxEntry>> m_boxEntries;
    // A keyboard request for the menu that the platform has not answered
    // with a context-menu event of its own.
    int m_nMenuKey = 0;
    bool m_bShown = false;
};
