// The dialog's context menu, standing in for the window menu, which the
// window manager owns on Linux: the right mouse button, the Menu key and
// Shift+F10 open it over the dialog or the focused control. Over an edit
// control it starts with the control's own entries (and, in a box that
// has one, the entry that copies every row); it always ends with the
// window menu's entries.
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
    struct CopyAll {
        QString label;
        std::function<std::u16string()> text;
    };

    QDialog& m_dialog;
    wsys::IDialogHandler& m_handler;
    const bool m_bMinimizeBox;
    std::vector<Entry> m_entries;
    std::map<QWidget*, CopyAll> m_copyAll;
    // A keyboard request for the menu that the platform has not answered
    // with a context-menu event of its own.
    int m_nMenuKey = 0;
    bool m_bShown = false;
};
