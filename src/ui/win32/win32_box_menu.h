// A multi-line box's context menu. The edit control's own menu cannot take
// entries of ours (it handles its commands itself): the box gets a menu of
// its own, with the entries a read-only box needs (copy, select all), a
// separator, then the entries added, in the order they were added.
#pragma once

#include "win32_api.h"

#include <functional>
#include <string>
#include <vector>

class CWin32BoxMenu {
public:
    // The entry that puts `text()` (lines ended by "\r\n") on the
    // clipboard; set again, it keeps its place.
    void SetCopyAll(std::u16string label, std::function<std::u16string()> text);
    // An entry that runs command `command`; a checkable one shows the state
    // SetCheck last gave it (unchecked at first).
    void AddCommand(int command, std::u16string label, bool checkable);
    void SetCheck(int command, bool checked);
    // The find entry; `open` opens the find window.
    void AddFind(std::u16string label, std::function<void()> open);

    bool Empty() const { return m_entries.empty(); }

    // Shows the menu over `box` at `at` (screen coordinates, or -1 from the
    // keyboard) and does what is chosen; commands go to `onCommand`.
    void Show(HWND box, LPARAM at, const std::function<void(int)>& onCommand);

private:
    enum class Kind { CopyAll, Command, Find };
    struct Entry {
        Kind kind;
        int command;
        std::u16string label;
        bool checkable;
        bool checked;
    };

    std::vector<Entry> m_entries;
    std::function<std::u16string()> m_copyAllText;
    std::function<void()> m_openFind;
};
