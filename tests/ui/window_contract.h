// One contract every window system keeps, written once against a small
// driver: run a dialog, and act on it as its user would. Each window
// system has a driver (qt/qt_driver.cpp, win32/win32_driver.cpp); the
// cases (contract_*_test.cpp) run against whichever is linked in. What is
// truly one system's own stays in that system's test file.
//
// Controls are named as the templates in resources.h name them ("input",
// "history", "version", ...), in the innermost dialog that runs. Text
// positions count UTF-16 units of Text(), whose rows are joined by "\r\n".
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "resources.h"
#include "window_system.h"

namespace contract {

enum class Key {
    Enter,
    Escape,
    CopySelection,
    Up,
    Down,
    PageUp,
    PageDown,
    Home,
    End,
    CtrlHome,
    CtrlEnd,
    CtrlF,
    CtrlS,
    F3,
    ShiftF3,
    // The history box's zoom: plus typed without Shift (where '+' is a key
    // of its own), with Shift (where it shares a key), and on the keypad;
    // minus on either keyboard; 0.
    CtrlPlus,
    CtrlShiftPlus,
    CtrlKeypadPlus,
    CtrlMinus,
    CtrlKeypadMinus,
    Ctrl0,
};

// What a save dialog offered: its title, the folder it opened on, the name
// it suggested, its file types as shown, and whether it asks before a
// file is replaced.
struct SaveOffer {
    std::u16string title;
    std::u16string folder;
    std::u16string name;
    std::vector<std::u16string> filters;
    bool asksBeforeReplacing = false;
};

// Rows of a box wholly in sight, first and last; -1 for none.
struct RowsInSight {
    int first = -1;
    int last = -1;
};

class CDriver {
public:
    virtual ~CDriver() = default;

    virtual wsys::IWindowSystem& WindowSystem() = 0;

    // Runs `modal` (a DoModal or a RunModal) and calls `user` once its
    // window is up, from inside its event loop, as the user acting on it.
    // Ends the dialog if `user` leaves it running. Returns what `modal`
    // returned.
    virtual int Run(const std::function<int()>& modal, const std::function<void()>& user) = 0;
    // Turns the event loop until `done` holds, or a bound that only
    // catches a hang passes (false).
    virtual bool WaitUntil(const std::function<bool()>& done) = 0;
    // Handles every event already waiting.
    virtual void ProcessEvents() = 0;
    // Calls `whileUp` from inside the modal loop of the next dialog named
    // `name` once it shows.
    virtual void WhenDialogOpens(const char* name, std::function<void()> whileUp) = 0;

    // The dialogs that run modally, outermost first, each disabled for
    // input while the next runs (names from the templates).
    virtual std::vector<std::string> ModalDialogs() = 0;
    virtual std::u16string Title() = 0;
    virtual void CloseBox() = 0;

    virtual std::u16string Text(const char* control) = 0;
    virtual std::u16string ToolTip(const char* control) = 0;
    virtual bool Exists(const char* control) = 0;
    // The control that has the focus, and the one Tab moves it to from
    // `control`.
    virtual std::string Focused() = 0;
    virtual std::string NextInTabOrder(const char* control) = 0;
    virtual void Focus(const char* control) = 0;

    // Key by key, as the keyboard sends it.
    virtual void Type(const char* control, const std::u16string& text) = 0;
    virtual void Paste(const char* control, const std::u16string& text) = 0;
    virtual void Press(const char* control, Key key) = 0;
    virtual void Click(const char* control) = 0;
    virtual void Select(const char* control, int start, int end) = 0;
    virtual std::pair<int, int> Selection(const char* control) = 0;

    virtual RowsInSight RowsShown(const char* control) = 0;
    // Makes a box `rows`/`of` of its height, as a font larger than the
    // template's would.
    virtual void Shrink(const char* control, int rows, int of) = 0;

    // Whether a vertical scroll bar shows beside a box's rows.
    virtual bool HasScrollBar(const char* control) = 0;
    // The mouse wheel over a box, `notches` away from the user (up;
    // negative: down).
    virtual void Wheel(const char* control, int notches) = 0;
    // The same with Ctrl held.
    virtual void CtrlWheel(const char* control, int notches) = 0;
    // The size of the font a control draws with, in points (rounded).
    virtual int FontPoints(const char* control) = 0;
    // The scroll bar's thumb dragged with the mouse until row `row` is at
    // the top of the view (as far as it goes).
    virtual void DragScrollBar(const char* control, int row) = 0;

    // The find window: whether it shows, what its field holds, a search as
    // its user makes one (`text` typed into the field in place of what it
    // held, the case option set, then the button of the direction
    // pressed), what it says ("" while it says nothing), and a key pressed
    // in it.
    virtual bool FindShown() = 0;
    virtual std::u16string FindField() = 0;
    virtual void Find(const std::u16string& text, bool matchCase, bool forward) = 0;
    virtual std::u16string FindMessage() = 0;
    virtual void PressInFind(Key key) = 0;

    // The window menu's entries as shown ('&' and all; "" a separator),
    // and choosing one.
    virtual std::vector<std::u16string> WindowMenu() = 0;
    virtual void ChooseFromWindowMenu(const std::u16string& entry) = 0;
    // The entries of `control`'s context menu; chooses `choose` ("" closes
    // it).
    virtual std::vector<std::u16string> ContextMenu(const char* control,
                                                    const std::u16string& choose) = 0;
    // Whether entry `entry` of `control`'s context menu shows a check.
    virtual bool ContextChecked(const char* control, const std::u16string& entry) = 0;

    // Line breaks as the system's clipboard has them.
    virtual std::u16string Clipboard() = 0;
    virtual void ClearClipboard() = 0;

    // A picture for people to look at: the innermost dialog, or one of its
    // controls, under a name the driver may mark as its system's.
    virtual void Screenshot(const char* name, const char* control = nullptr) = 0;

    // The system's save dialog, answered in its place: each one that opens
    // from now on is noted, `whileOpen` runs (the event loop turning, as
    // while a user chooses), and `path` is chosen ("" cancels). Starts the
    // lists below afresh.
    virtual void AnswerSaveDialogs(const std::u16string& path,
                                   std::function<void()> whileOpen = {}) = 0;
    // The save dialogs that opened so far, oldest first.
    virtual std::vector<SaveOffer> SaveDialogs() = 0;
    // The texts of the message boxes shown so far, each closed at once.
    virtual std::vector<std::u16string> Messages() = 0;

    // UpdateRows calls on every window of this system so far.
    virtual int RowUpdates() = 0;
};

// The driver of the window system this program is built with.
CDriver& Driver();

// A dialog that does nothing of its own, for the window system's part:
// Escape and the close box end it.
class CPlainHandler : public wsys::IDialogHandler {
public:
    wsys::IWindow* wnd = nullptr;
    std::function<void()> onInit;  // inside OnInitDialog
    int destroyed = 0;

    bool OnInitDialog() override
    {
        if (onInit)
            onInit();
        return true;
    }
    void OnCommand(int id) override
    {
        if (id == res::IDCANCEL)
            wnd->EndDialog(id);
    }
    void OnTimer(int) override {}
    void OnSysCommand(int, long) override {}
    void OnPaint() override {}
    wsys::IconHandle OnQueryDragIcon() override { return nullptr; }
    void OnDestroy() override { ++destroyed; }
};

}  // namespace contract
