#include "win32_message_filter.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

struct ThreadHook {
    HHOOK hook = nullptr;
    std::vector<CWin32MessageFilter*> filters;  // newest last
    // The message being filtered: a filter's IsDialogMessage asks the hook
    // about it again (perhaps through a copy), which is not looked at. A
    // modal loop that a filter opens has messages of its own.
    const MSG* filtering = nullptr;
};

thread_local ThreadHook t_hook;

bool Same(const MSG* a, const MSG* b)
{
    return a && b &&
           (a == b || (a->hwnd == b->hwnd && a->message == b->message && a->wParam == b->wParam &&
                       a->lParam == b->lParam && a->time == b->time));
}

}  // namespace

CWin32MessageFilter::CWin32MessageFilter(Filter filter) : m_filter(std::move(filter))
{
    if (!t_hook.hook)
        t_hook.hook = SetWindowsHookExW(WH_MSGFILTER, HookProc, nullptr, GetCurrentThreadId());
    t_hook.filters.push_back(this);
}

CWin32MessageFilter::~CWin32MessageFilter()
{
    auto& all = t_hook.filters;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    if (all.empty() && t_hook.hook) {
        UnhookWindowsHookEx(t_hook.hook);
        t_hook.hook = nullptr;
    }
}

LRESULT CALLBACK CWin32MessageFilter::HookProc(int code, WPARAM wp, LPARAM lp)
{
    // A popup menu's loop (MSGF_MENU) keeps its keys.
    MSG* msg = reinterpret_cast<MSG*>(lp);
    if (code == MSGF_DIALOGBOX && msg && !Same(msg, t_hook.filtering)) {
        const MSG* outer = std::exchange(t_hook.filtering, msg);
        bool handled = false;
        // A copy: a filter may end a window, and its filter with it.
        const std::vector<CWin32MessageFilter*> filters = t_hook.filters;
        for (auto it = filters.rbegin(); !handled && it != filters.rend(); ++it) {
            const auto& live = t_hook.filters;
            if (std::find(live.begin(), live.end(), *it) != live.end())
                handled = (*it)->m_filter(*msg);
        }
        t_hook.filtering = outer;
        if (handled)
            return TRUE;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
