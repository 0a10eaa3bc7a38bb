// The console's resources, as data: dialog templates, the string table and
// numeric identifiers. Every window system builds its dialogs from these.
#pragma once

#include <span>
#include <string>

namespace res {

enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDC_STATIC = -1,

    IDD_ABOUTBOX = 100,
    IDS_ABOUTBOX = 101,
    IDD_WENDREL_DIALOG = 102,
    IDR_MAINFRAME = 128,

    IDC_STATUS = 1000,
    IDC_SEND_TEXT = 1001,
    IDC_HISTORY = 1002,
    IDC_BOOT = 1004,

    IDM_ABOUTBOX = 0x0010,
    // The history box's own commands, from its context menu.
    IDM_SHOW_TIMES = 32771,
    IDM_CLEAR_HISTORY = 32772,
    // Saving the history (the box's menu, Ctrl+S).
    IDM_SAVE_HISTORY = 32790,

    // Texts of the history box's context menu and of the find window.
    IDS_SHOW_TIMES = 103,
    IDS_FIND = 104,
    IDS_CLEAR_HISTORY = 105,
    IDS_COPY_ALL = 106,
    IDS_FIND_TITLE = 107,
    IDS_FIND_NEXT = 108,
    IDS_FIND_PREVIOUS = 109,
    IDS_MATCH_CASE = 110,
    IDS_FIND_CLOSE = 111,
    IDS_NOT_FOUND = 112,
    // The history box's views beside the times.
    IDM_SHOW_BYTES = 32780,
    IDM_SHOW_EVENTS = 32781,
    IDS_SHOW_BYTES = 120,
    IDS_SHOW_EVENTS = 121,
    // Saving the history: the menu entry, the save dialog's title and
    // filter, and the message when the file cannot be written.
    IDS_SAVE_AS = 130,
    IDS_SAVE_TITLE = 131,
    IDS_SAVE_FILTER = 132,
    IDS_SAVE_FAILED = 133,
    IDT_POLL = 1,
    IDT_FRAME = 2,  // history updates while reports stream in
    IDT_NOTE = 3,   // ends a note on the status label
};

enum class ControlKind {
    PushButton,
    DefPushButton,
    Edit,       // single line
    MultiEdit,  // multi-line
    Static,
    Icon,       // shows the icon named by ControlTemplate::iconId
};

// Control styles (a subset, as the templates use them).
enum : unsigned {
    kTabStop = 1u << 0,
    kGroup = 1u << 1,
    kReadOnly = 1u << 2,
    kAutoHScroll = 1u << 3,
    kBorder = 1u << 4,
    kNoPrefix = 1u << 5,  // '&' shown as it is
    kLeft = 1u << 6,
};

// Window styles.
enum : unsigned {
    kCaption = 1u << 0,
    kSysMenu = 1u << 1,
    kMinimizeBox = 1u << 2,
    kModalFrame = 1u << 3,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char16_t* text;
    int x, y, cx, cy;  // dialog units
    unsigned style;
    const char* name;              // object name, for tests and tools
    const char16_t* accessibleName;  // nullptr: the text, without '&'
    int iconId = 0;
};

// Controls are listed in tab order.
struct DialogTemplate {
    int id;
    const char* name;  // object name, for tests and tools
    const char16_t* title;
    int cx, cy;  // dialog units
    const char16_t* fontFace;
    int pointSize;
    unsigned style;
    std::span<const ControlTemplate> controls;
};

// nullptr for an unknown id.
const DialogTemplate* FindDialogTemplate(int id);

// "" for an unknown id.
std::u16string LoadString(int id);

// Windows' dialog base units from the dialog font's metrics: the horizontal
// unit is the average width of the 52 Latin letters (rounded), the
// vertical one the character height.
int BaseUnitX(int widthOf52Letters);

// Dialog units to pixels: x * baseX / 4 and y * baseY / 8, rounded.
int DluToPixelsX(int dlu, int baseX);
int DluToPixelsY(int dlu, int baseY);

}  // namespace res
