// A window system in memory (memory_window.h) that keeps what it is
// given: the timer ticks when a test says so, and calls posted from other
// threads wait in a queue until the test drains it. A script per template
// stands in for the user while the dialog runs modally.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "memory_window.h"
#include "window_system.h"

namespace fake {

class FakeWindowSystem;

class FakeWindow : public MemoryWindow {
public:
    FakeWindow(FakeWindowSystem& ws, int templateId, wsys::IDialogHandler& handler)
        : MemoryWindow(handler), m_ws(ws), m_templateId(templateId) {}

    // --- wsys::IWindow ---
    int RunModal() override;
    void EndDialog(int result) override { ended = result; }
    void SetItemText(int id, const std::u16string& t) override
    {
        MemoryWindow::SetItemText(id, t);
        ++sets[id];
    }
    void UpdateRows(int id, const wsys::RowChange& change) override
    {
        lastChange[id] = change;
        MemoryWindow::UpdateRows(id, change);
        ++sets[id];
    }
    void LimitText(int id, int maxUnits) override { limit[id] = maxUnits; }
    void SetInputFilter(int id, std::function<bool(const std::u16string&)> accept) override
    {
        filter[id] = std::move(accept);
    }
    void SetItemToolTip(int id, const std::u16string& t) override { tip[id] = t; }
    void Beep() override { ++beeps; }
    // The history box's context menu: each entry as (command, label),
    // command 0 standing for the find entry and -1 for the copy entry.
    void SetCopyAllEntry(int id, const std::u16string& label,
                         std::function<std::u16string()> t) override
    {
        context[id].emplace_back(-1, label);
        copyAll[id] = std::move(t);
    }
    void AddContextCommand(int id, int command, const std::u16string& label,
                           bool checkable) override
    {
        context[id].emplace_back(command, label);
        if (checkable)
            checked[command] = false;
    }
    void SetContextCheck(int, int command, bool on) override { checked[command] = on; }
    void AddFindEntry(int id) override { context[id].emplace_back(0, u"find"); }
    void SetLineRecall(int id, Recall r) override { recall[id] = std::move(r); }
    // timerId and timerMs follow the first timer set, the poll cycle's
    // (timerId is 0 while it is stopped; Tick still ticks it); `timers`
    // holds every running timer with its period.
    void SetTimer(int id, int periodMs) override
    {
        timers[id] = periodMs;
        if (!pollTimer || id == pollTimer) {
            pollTimer = id;
            timerId = id;
            timerMs = periodMs;
        }
    }
    void KillTimer(int id) override
    {
        timers.erase(id);
        if (id == timerId)
            timerId = 0;
    }
    bool TimerRuns(int id) const { return timers.count(id) > 0; }
    bool AppendSystemMenu(wsys::MenuItem kind, int id, const std::u16string& t) override
    {
        menu.emplace_back(kind, id, t);
        return true;
    }
    void SetIcon(wsys::IconHandle icon, bool big) override { (big ? bigIcon : smallIcon) = icon; }
    void DrawIcon(int x, int y, wsys::IconHandle icon) override { draws.emplace_back(x, y, icon); }
    // Nothing to wake: the test drains.
    void Post(std::function<void()> fn) override
    {
        m_posts.Post(std::move(fn));
        ++posted;
    }

    // --- the user ---

    // Types `t` at the end of edit control `id` one unit at a time, as far
    // as the limit and the filter let it; returns the units taken.
    int Type(int id, const std::u16string& t)
    {
        int taken = 0;
        for (char16_t c : t) {
            std::u16string next = GetItemText(id) + c;
            if (limit.count(id) && static_cast<int>(next.size()) > limit[id])
                break;
            if (filter.count(id) && !filter[id](next))
                break;
            text[id] = next;
            ++taken;
        }
        return taken;
    }
    // One timer tick. With `settle` set (it waits until the device's worker
    // is idle), also everything the tick started: the completions the
    // worker posts are run as they come, until none is left.
    void Tick()
    {
        m_handler.OnTimer(pollTimer);
        Settle();
    }
    // One tick of timer `id` alone.
    void TickTimer(int id) { m_handler.OnTimer(id); }
    void Settle()
    {
        if (!settle)
            return;
        do
            settle();
        while (DrainPosts() > 0);
    }
    std::function<void()> settle;
    void Click(int id) { m_handler.OnCommand(id); }
    // Up (`older`) or Down in edit control `id`, as the window applies it.
    void PressRecall(int id, bool older)
    {
        if (!recall.count(id))
            return;
        if (const auto line = recall[id](older, GetItemText(id)))
            text[id] = *line;
    }
    void Paint() { m_handler.OnPaint(); }
    void ChooseMenu(int id) { m_handler.OnSysCommand(id, 0); }
    // Runs the queued posts, as the event loop would on its next turn.
    int DrainPosts() { return m_posts.Drain(); }
    int Sets(int id) const
    {
        auto it = sets.find(id);
        return it == sets.end() ? 0 : it->second;
    }

    std::map<int, wsys::RowChange> lastChange;
    std::map<int, int> sets;
    std::map<int, int> limit;
    std::map<int, std::function<bool(const std::u16string&)>> filter;
    std::map<int, std::u16string> tip;
    std::map<int, std::vector<std::pair<int, std::u16string>>> context;
    std::map<int, std::function<std::u16string()>> copyAll;
    std::map<int, bool> checked;
    std::map<int, Recall> recall;
    std::vector<std::tuple<wsys::MenuItem, int, std::u16string>> menu;
    std::optional<int> ended;
    int timerId = 0;
    int pollTimer = 0;
    std::map<int, int> timers;
    int timerMs = 0;
    wsys::IconHandle bigIcon = nullptr;
    wsys::IconHandle smallIcon = nullptr;
    int beeps = 0;
    std::vector<std::tuple<int, int, wsys::IconHandle>> draws;
    // Calls posted so far; written on the posting threads, read by the test.
    std::atomic<int> posted{0};

private:
    FakeWindowSystem& m_ws;
    int m_templateId;
};

class FakeWindowSystem : public wsys::IWindowSystem {
public:
    std::unique_ptr<wsys::IWindow> CreateDialogWindow(int templateId,
                                                      wsys::IDialogHandler& handler) override
    {
        created.push_back(templateId);
        return std::make_unique<FakeWindow>(*this, templateId, handler);
    }
    wsys::IconHandle LoadIcon(int id) override { return id == 128 ? &m_icon : nullptr; }
    wsys::IconHandle Icon() const { return &m_icon; }

    // What the user does while the dialog of a template runs; without one
    // the dialog returns at once.
    std::map<int, std::function<void(FakeWindow&)>> script;
    std::vector<int> created;

private:
    int m_icon = 0;
};

inline int FakeWindow::RunModal()
{
    m_handler.OnInitDialog();
    if (auto it = m_ws.script.find(m_templateId); it != m_ws.script.end() && it->second)
        it->second(*this);
    Destroy();
    return ended.value_or(-1);
}

}  // namespace fake
