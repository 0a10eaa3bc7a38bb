// A look at every message of the modal loops on this thread (a dialog's,
// a message box's) before they handle it, through the thread's
// WH_MSGFILTER hook: a modeless window inside a modal dialog gets its
// keyboard navigation (IsDialogMessage) there, and the dialog its
// accelerators. One hook a thread, however many filters.
#pragma once

#include "win32_api.h"

#include <functional>

class CWin32MessageFilter {
public:
    // True: `filter` handled the message, which goes no further.
    using Filter = std::function<bool(MSG& msg)>;

    explicit CWin32MessageFilter(Filter filter);
    ~CWin32MessageFilter();
    CWin32MessageFilter(const CWin32MessageFilter&) = delete;
    CWin32MessageFilter& operator=(const CWin32MessageFilter&) = delete;

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wp, LPARAM lp);

    Filter m_filter;
};
