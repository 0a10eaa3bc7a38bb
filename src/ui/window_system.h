// What the console's logic needs from a window system, and nothing more:
// modal dialogs built from the templates in resources.h, control text in
// both directions, a box of rows updated by what changed, a text limit, a
// timer, window-menu entries, icons, minimised painting, and a way for
// another thread to run code on the user-interface thread.
//
// The Qt implementation lives in qt/, the Windows dialog manager's in
// win32/; tests use a fake.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "row_change.h"

namespace wsys {

// Opaque icon; the window system that loaded it owns it. nullptr: no icon.
using IconHandle = const void*;

struct Size {
    int cx = 0;
    int cy = 0;
};

// Window-menu entry kinds, as AppendMenu takes them.
enum class MenuItem { Separator, Text };

// What the system's save dialog offers.
struct SaveRequest {
    std::u16string title;
    // Suggested, in the user's documents folder.
    std::u16string fileName;
    // The one file type: its label, which ends in its pattern as shown
    // ("テキスト ファイル (*.txt)"), the pattern alone ("*.txt"), and the
    // extension a name typed without one gets ("txt").
    std::u16string filterLabel;
    std::u16string pattern;
    std::u16string extension;
};

// The dialog side: a window calls these on the user-interface thread, one
// at a time, while RunModal runs.
class IDialogHandler {
public:
    virtual ~IDialogHandler() = default;
    // After the controls exist, before the window is shown.
    virtual bool OnInitDialog() = 0;
    // A push button was clicked, Enter chose the default button (1), or
    // Escape or the close box asked to cancel (2).
    virtual void OnCommand(int id) = 0;
    virtual void OnTimer(int id) = 0;
    // A window-menu entry was chosen.
    virtual void OnSysCommand(int id, long param) = 0;
    virtual void OnPaint() = 0;
    virtual IconHandle OnQueryDragIcon() = 0;
    // The window is about to go; its controls still exist.
    virtual void OnDestroy() = 0;
};

// One dialog window. Every call but Post is made on the user-interface
// thread.
class IWindow {
public:
    virtual ~IWindow() = default;

    // Calls OnInitDialog, shows the window and dispatches to the handler
    // until EndDialog; calls OnDestroy and returns EndDialog's result.
    virtual int RunModal() = 0;
    virtual void EndDialog(int result) = 0;

    virtual std::u16string GetItemText(int id) const = 0;
    // Replaces the whole text; a multi-line control takes "\r\n" as its
    // line break, a single-line edit puts its caret after it. Text is
    // always shown literally.
    virtual void SetItemText(int id, const std::u16string& text) = 0;
    // A multi-line control shown as rows takes what changed, in place: a
    // selection on rows still shown stays on them. GetItemText gives its
    // rows joined by "\r\n".
    //
    // Scrollback: a vertical scroll bar appears once the rows outnumber
    // the view. While the view is at the bottom the box follows the newest
    // row. Scrolled up (wheel, scroll bar, PageUp, Up, Ctrl+Home), the rows
    // in view stay in view while rows come at the bottom and go at the top;
    // back at the bottom (scrolling down, End, Ctrl+End) it follows again.
    // In the box, the keys move the view, not a caret: Up and Down by a
    // row, PageUp and PageDown by a view, Home and Ctrl+Home to the oldest
    // row, End and Ctrl+End to the newest; a selection stays as it is.
    // A replace marked `restyle` (the same rows, each shown otherwise)
    // keeps the view, whether it follows, and a selection where it stands
    // from the end of its rows; a replace by no rows (the history cleared)
    // follows again. Following shows the start of the rows (scrolled fully
    // left).
    virtual void UpdateRows(int id, const RowChange& change) = 0;
    // Most UTF-16 units the user can enter into an edit control.
    virtual void LimitText(int id, int maxUnits) = 0;
    // An edit control asks `accept` before it takes any change the user
    // makes, as FilterChange (input_filter.h) rules: a refused change
    // leaves the text as it was, except that text inserted at once (a
    // paste) is cut to the longest start of it that `accept` takes. Text
    // the program sets passes no filter.
    virtual void SetInputFilter(int id, std::function<bool(const std::u16string&)> accept) = 0;
    // A multi-line control's context menu: the toolkit's own entries for
    // a read-only text (copy, select all), a separator, then the entries
    // below in the order they were added (and, where the window menu is
    // the dialog's own context menu, a separator and its entries last).
    //
    // An entry `label` that puts `text()` (lines ended by "\r\n") on the
    // clipboard. Called on the user-interface thread when chosen.
    virtual void SetCopyAllEntry(int id, const std::u16string& label,
                                 std::function<std::u16string()> text)
    {
        (void)id, (void)label, (void)text;
    }
    // An entry that calls the handler's OnCommand(command) when chosen;
    // a checkable one shows the state SetContextCheck last gave it
    // (unchecked at first).
    virtual void AddContextCommand(int id, int command, const std::u16string& label,
                                   bool checkable)
    {
        (void)id, (void)command, (void)label, (void)checkable;
    }
    virtual void SetContextCheck(int id, int command, bool checked)
    {
        (void)id, (void)command, (void)checked;
    }
    // The find entry (IDS_FIND). It opens the window system's modeless
    // find window (IDS_FIND_TITLE) over control `id`, as Ctrl+F anywhere in
    // the dialog does; F3 and Shift+F3, in the dialog or the box, repeat
    // the last search forward and backward. A search starts at the
    // selection, wraps around at either end (FindInText, text_search.h),
    // selects the match and brings it into view, which stops following
    // even where the match is at the bottom (the next scroll to the bottom
    // follows again); when nothing matches, the find window says so
    // (IDS_NOT_FOUND) and the selection stays where it was. The find field
    // starts with the selected text where it is within one row (else with
    // the last search); Escape closes the find window. F3 before any
    // search opens the find window.
    virtual void AddFindEntry(int id) { (void)id; }

    // Up and Down in single-line edit `id` show the line `recall` gives
    // (`older`: Up) in place of `current`, the cursor at its end; nothing
    // (std::nullopt) leaves the line as it is. The line shown is the
    // program's: it passes no input filter.
    using Recall =
        std::function<std::optional<std::u16string>(bool older, const std::u16string& current)>;
    virtual void SetLineRecall(int id, Recall recall) { (void)id, (void)recall; }
    // Ctrl+`letter` (A to Z) anywhere in the dialog, whatever control has
    // the focus, calls the handler's OnCommand(command).
    virtual void AddCommandKey(char16_t letter, int command) { (void)letter, (void)command; }
    // The system's own save dialog, modal over this window (its timers and
    // posted functions still run). Choosing a file that exists asks before
    // replacing it. Returns the full path chosen; std::nullopt when the
    // user cancelled.
    virtual std::optional<std::u16string> AskSavePath(const SaveRequest& request)
    {
        (void)request;
        return std::nullopt;
    }
    // A modal message box over this window, with the dialog's title, an
    // error icon and an OK button; returns once the user closed it.
    virtual void ShowError(const std::u16string& text) { (void)text; }
    // The system's own alert sound, as for a key the window refuses.
    virtual void Beep() {}
    // Explanation shown on hover and given to screen readers; "" removes it.
    virtual void SetItemToolTip(int id, const std::u16string& text) = 0;

    // Periodic OnTimer(id); a tick is not delivered while a handler runs.
    virtual void SetTimer(int id, int periodMs) = 0;
    // Stops timer `id`; no tick of it comes afterwards. Unknown ids are
    // ignored.
    virtual void KillTimer(int id) = 0;

    // Appends to the window menu (where the window manager owns that menu,
    // to the dialog's own context menu). False when there is no menu.
    virtual bool AppendSystemMenu(MenuItem kind, int id, const std::u16string& text) = 0;

    virtual void SetIcon(IconHandle icon, bool big) = 0;
    virtual bool IsIconic() const = 0;
    virtual Size ClientSize() const = 0;
    virtual Size SystemIconSize() const = 0;
    // Only inside OnPaint.
    virtual void DrawIcon(int x, int y, IconHandle icon) = 0;

    // Runs `fn` on the user-interface thread on a later turn of the event
    // loop. Callable from any thread; never waits for the user-interface
    // thread. Dropped if the window is destroyed first.
    virtual void Post(std::function<void()> fn) = 0;
};

class IWindowSystem {
public:
    virtual ~IWindowSystem() = default;
    // A window built from dialog template `templateId` (resources.h),
    // calling `handler`. Not shown until RunModal.
    virtual std::unique_ptr<IWindow> CreateDialogWindow(int templateId,
                                                        IDialogHandler& handler) = 0;
    // nullptr when the icon is not available.
    virtual IconHandle LoadIcon(int id) = 0;
};

// The window system of the platform the program is built for; each
// platform's window system (qt/, win32/) defines it.
std::unique_ptr<IWindowSystem> CreatePlatformWindowSystem();

}  // namespace wsys
