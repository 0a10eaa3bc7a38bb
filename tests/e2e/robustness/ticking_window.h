// A window system without a screen (memory_window.h) for running the
// console's logic on the rig: its modal loop ticks the dialog's timer at
// the real period, runs calls posted from other threads as they come, and
// after every turn calls a hook that plays the user (or the test).
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "memory_window.h"
#include "window_system.h"

namespace rig {

class TickingWindow : public fake::MemoryWindow {
public:
    using Clock = std::chrono::steady_clock;

    explicit TickingWindow(wsys::IDialogHandler& handler) : MemoryWindow(handler) {}

    // After each timer tick (true) or batch of posted calls (false), on
    // the user-interface thread.
    std::function<void(TickingWindow&, bool tick)> onTurn;
    // Longest OnTimer seen, and the last one, in ms.
    double longestTickMs = 0;
    double lastTickMs = 0;
    // Longest batch of posted calls, in ms.
    double longestPostsMs = 0;

    int RunModal() override
    {
        m_handler.OnInitDialog();
        Clock::time_point next = Clock::now() + m_period;
        while (!m_ended) {
            {
                std::unique_lock<std::mutex> lock(m_lock);
                const Clock::time_point until =
                    m_frameMs > 0 ? std::min(next, m_frameNext) : next;
                m_wake.wait_until(lock, until, [&] { return m_bWoken; });
                m_bWoken = false;
            }
            // The display's frame timer: ticked on its own, unseen by the
            // script.
            if (m_frameMs > 0 && Clock::now() >= m_frameNext) {
                m_frameNext = Clock::now() + std::chrono::milliseconds(m_frameMs);
                m_handler.OnTimer(m_frameId);
            }
            const auto postsStart = Clock::now();
            const int ran = m_posts.Drain();
            longestPostsMs = std::max(
                longestPostsMs,
                std::chrono::duration<double, std::milli>(Clock::now() - postsStart).count());
            if (ran > 0 && onTurn)
                onTurn(*this, false);
            if (m_timerId && Clock::now() >= next) {
                const auto start = Clock::now();
                // A stopped timer still keeps the script's turns going.
                if (!m_timerStopped)
                    m_handler.OnTimer(m_timerId);
                const double ms =
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                lastTickMs = ms;
                if (ms > longestTickMs)
                    longestTickMs = ms;
                next += m_period;
                if (next < Clock::now())
                    next = Clock::now() + m_period;  // no catching up after a stall
                if (onTurn)
                    onTurn(*this, true);
            }
        }
        Destroy();
        return m_result;
    }
    void EndDialog(int result) override
    {
        m_result = result;
        m_ended = true;
    }
    // The first timer set is the poll cycle's; another one is the
    // display's frame timer.
    void SetTimer(int id, int periodMs) override
    {
        if (m_timerId && id != m_timerId) {
            m_frameId = id;
            m_frameMs = periodMs;
            m_frameNext = Clock::now() + std::chrono::milliseconds(periodMs);
            return;
        }
        m_timerId = id;
        m_period = std::chrono::milliseconds(periodMs);
        m_timerStopped = false;
    }
    void KillTimer(int id) override
    {
        if (id == m_timerId)
            m_timerStopped = true;
        else if (id == m_frameId)
            m_frameMs = 0;
    }
    void Post(std::function<void()> fn) override
    {
        if (!m_posts.Post(std::move(fn)))
            return;
        std::lock_guard<std::mutex> lock(m_lock);
        m_bWoken = true;
        m_wake.notify_one();
    }

private:
    int m_timerId = 0;
    bool m_timerStopped = false;
    int m_frameId = 0;
    int m_frameMs = 0;  // 0: no frame timer
    Clock::time_point m_frameNext;
    std::chrono::milliseconds m_period{50};
    bool m_ended = false;
    int m_result = 0;
    std::mutex m_lock;  // guards m_bWoken
    std::condition_variable m_wake;
    bool m_bWoken = false;
};

// Makes TickingWindows; `onWindow` sees each before it runs.
class TickingWindowSystem : public wsys::IWindowSystem {
public:
    std::function<void(TickingWindow&)> onWindow;

    std::unique_ptr<wsys::IWindow> CreateDialogWindow(int,
                                                      wsys::IDialogHandler& handler) override
    {
        auto wnd = std::make_unique<TickingWindow>(handler);
        if (onWindow)
            onWindow(*wnd);
        return wnd;
    }
    wsys::IconHandle LoadIcon(int) override { return nullptr; }
};

}  // namespace rig
