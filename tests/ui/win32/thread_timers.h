// Functions that must act inside whichever modal loop runs (a dialog's, a
// popup menu's): every loop dispatches a thread timer.
#pragma once

#include "win32_api.h"

#include <functional>
#include <map>
#include <memory>

// Functions called from a thread timer until they say they are done.
class CTimers {
public:
    struct Pending {
        std::function<bool()> fn;
        UINT_PTR id = 0;
        bool busy = false;
    };
    using Handle = std::shared_ptr<Pending>;

    Handle Start(std::function<bool()> fn)
    {
        auto p = std::make_shared<Pending>();
        p->fn = std::move(fn);
        p->id = ::SetTimer(nullptr, 0, 10, &CTimers::Tick);
        s_pending[p->id] = p;
        return p;
    }
    // Unless it is done already (its id may since be another timer's).
    static void Stop(const Handle& p)
    {
        auto it = s_pending.find(p->id);
        if (it != s_pending.end() && it->second == p) {
            ::KillTimer(nullptr, p->id);
            s_pending.erase(it);
        }
    }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD)
    {
        auto it = s_pending.find(id);
        if (it == s_pending.end())
            return;
        const Handle p = it->second;
        // Not again while it runs a loop of its own.
        if (p->busy)
            return;
        p->busy = true;
        const bool done = p->fn();
        p->busy = false;
        if (done)
            Stop(p);
    }
    static inline std::map<UINT_PTR, Handle> s_pending;
};
