// One dialog built from a template: controls placed in dialog units of the
// dialog font, events routed to the handler, functions posted from other
// threads run on the loop's next turn. The context menu, the history box,
// the input filter and accessibility have files of their own.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <optional>

#include "post_queue.h"
#include "resources.h"
#include "wake.h"
#include "window_system.h"

class CQtContextMenu;
class CQtFind;
class CQtInputFilter;
class CQtWindowSystem;
class QMenu;
class QMessageBox;
class QSocketNotifier;
class QPainter;

class CQtDialogWindow : public QDialog, public wsys::IWindow {
public:
    CQtDialogWindow(CQtWindowSystem& ws, const res::DialogTemplate& tmpl,
                    wsys::IDialogHandler& handler, QWidget* parent);
    ~CQtDialogWindow() override;

    // wsys::IWindow
    int RunModal() override;
    void EndDialog(int result) override;
    std::u16string GetItemText(int id) const override;
    void SetItemText(int id, const std::u16string& text) override;
    void UpdateRows(int id, const wsys::RowChange& change) override;
    void LimitText(int id, int maxUnits) override;
    void SetInputFilter(int id, std::function<bool(const std::u16string&)> accept) override;
    void SetCopyAllEntry(int id, const std::u16string& label,
                         std::function<std::u16string()> text) override;
    void AddContextCommand(int id, int command, const std::u16string& label,
                           bool checkable) override;
    void SetContextCheck(int id, int command, bool checked) override;
    void AddFindEntry(int id) override;
    void SetLineRecall(int id, Recall recall) override;
    void AddCommandKey(char16_t letter, int command) override;
    std::optional<std::u16string> AskSavePath(const wsys::SaveRequest& request) override;
    void ShowError(const std::u16string& text) override;
    void Beep() override;
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
    // over `widget`. Shown by the caller; deleted when it closes.
    QMenu* CreateContextMenu(QWidget* widget);

protected:
    // The save dialog as asked for; Qt's file dialog is built from it.
    struct SaveDialog {
        QString title;
        QString folder;
        QString fileName;
        QString nameFilter;
        QString defaultSuffix;
        bool confirmOverwrite = true;
    };
    // Where the save dialog and the message box run, modally; tests answer
    // them here (without a file dialog, whose folder model is a thread of
    // Qt's own). The path chosen, or std::nullopt.
    virtual std::optional<QString> ExecSaveDialog(const SaveDialog& request);
    virtual void ExecMessageBox(QMessageBox& box);

    void reject() override;  // Escape and the close box
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    void BuildControls(const res::DialogTemplate& tmpl);
    QWidget* BuildControl(const res::ControlTemplate& c);
    QRect ToPixels(int x, int y, int cx, int cy) const;
    QWidget* Item(int id) const;
    void RunPosted();

    CQtWindowSystem& m_ws;
    wsys::IDialogHandler& m_handler;
    const res::DialogTemplate& m_tmpl;
    int m_baseX = 0;
    int m_baseY = 0;
    std::map<int, QWidget*> m_items;
    std::map<int, int> m_timers;  // Qt's timer id -> ours
    std::map<int, CQtInputFilter*> m_filters;  // each a child of its edit control
    CQtContextMenu* m_pMenu = nullptr;  // a child of the dialog
    CQtFind* m_pFind = nullptr;         // a child of the dialog, once asked for
    QPainter* m_pPainter = nullptr;  // inside paintEvent only
    bool m_bEnded = false;
    int m_nResult = 0;
    // Functions posted from other threads; the wake-up's eventfd turns the
    // loop (a Qt event stands in where none could be had).
    wsys::CPostQueue m_posts;
    base::CWake m_wake;
    QSocketNotifier* m_pWakeNotifier = nullptr;
};
