// One dialog built from a template: controls placed in dialog units of the
// dialog font, events routed to the handler, and a context menu standing
// in for the window menu that the window manager owns on Linux and macOS.
#pragma once

#include <QDialog>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "resources.h"
#include "window_system.h"

class CQtWindowSystem;
class QMenu;
class QSocketNotifier;
class QPainter;
class QPlainTextEdit;

class CQtDialogWindow final : public QDialog, public wsys::IWindow {
public:
    CQtDialogWindow(CQtWindowSystem& ws, const res::DialogTemplate& tmpl,
                    wsys::IDialogHandler& handler, QWidget* parent);
    ~CQtDialogWindow() override;

    // wsys::IWindow
    int RunModal() override;
    void EndDialog(int result) override;
    std::u16string GetItemText(int id) const override;
    void SetItemText(int id, const std::u16string& text) override;
    void LimitText(int id, int maxUnits) override;
    void SetInputFilter(int id, std::function<bool(const std::u16string&)> accept) override;
    void SetCopyAllEntry(int id, const std::u16string& label,
                         std::function<std::u16string()> text) override;
    void SetItemToolTip(int id, const std::u16string& text) override;
    void SetTimer(int id, int periodMs) override;
    void KillTimer(int id) override;
    bool AppendSystemMenu(wsys::MenuItem kind, int id, const std::u16string& text) override;
    void SetIcon(wsys::IconHandle icon, bool big) override;
    bool IsIconic() const override;
    wsys::Size ClientSize() const override;
    wsys::Size SystemIconSize() const override;
    void DrawIcon(int x, int y, wsys::IconHandle icon) override;
    void Post(std::function<void()> fn) override;

    // Dialog base units of this window's font, in pixels.
    int BaseUnitX() const { return m_baseX; }
    int BaseUnitY() const { return m_baseY; }

    // The menu the right mouse button, the Menu key and Shift+F10 open
    // over `widget` (the window menu's entries, after an edit control's
    // own entries). Shown by the caller; deleted when it closes.
    QMenu* CreateContextMenu(QWidget* widget);

protected:
    void reject() override;  // Escape and the close box
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    struct MenuEntry {
        wsys::MenuItem kind;
        int id;
        QString text;
    };

    void BuildControls(const res::DialogTemplate& tmpl);
    QRect ToPixels(int x, int y, int cx, int cy) const;
    QWidget* Item(int id) const;
    void ShowContextMenu(QWidget* widget, const QPoint& globalPos);
    void SetMultiLineText(QPlainTextEdit* edit, const QString& text);

    CQtWindowSystem& m_ws;
    wsys::IDialogHandler& m_handler;
    const res::DialogTemplate& m_tmpl;
    int m_baseX = 0;
    int m_baseY = 0;
    std::map<int, QWidget*> m_items;
    std::map<int, int> m_timers;  // Qt's timer id -> ours
    std::vector<MenuEntry> m_menu;
    struct CopyAll {
        QString label;
        std::function<std::u16string()> text;
    };
    std::map<QWidget*, CopyAll> m_copyAll;
    QPainter* m_pPainter = nullptr;  // inside paintEvent only
    bool m_bEnded = false;
    int m_nResult = 0;
    // A keyboard request for the context menu that the platform has not
    // answered with a context-menu event of its own.
    int m_nMenuKey = 0;
    bool m_bMenuShown = false;
    // Functions posted from other threads, run on the next turn of the
    // loop (see Post).
    void RunPosted();
    std::mutex m_postLock;
    std::deque<std::function<void()>> m_posts;
    int m_wakeFd = -1;
    QSocketNotifier* m_wakeNotifier = nullptr;
};
