// Measuring the console from the inside without changing it: a window
// system that wraps another and timestamps what the console shows, and
// small helpers shared by the bench programs.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "resources.h"
#include "window_system.h"

namespace bench {

inline std::int64_t NowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

inline double Ms(std::int64_t ns) { return double(ns) / 1e6; }

// CPU time of the calling thread, in ns.
inline std::int64_t ThreadCpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The number a report starts with ("123 456789" -> 123), -1 when none.
inline long long LeadingNumber(const std::u16string& text, std::size_t from = 0)
{
    long long n = -1;
    for (std::size_t i = from; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        n = (n < 0 ? 0 : n * 10) + (text[i] - u'0');
    return n;
}

// The second number of "<seq> <t_ns>", -1 when none.
inline long long SecondNumber(const std::u16string& text)
{
    std::size_t space = text.find(u' ');
    return space == std::u16string::npos ? -1 : LeadingNumber(text, space + 1);
}

// CPU time of the whole process, in ns.
inline std::int64_t ProcessCpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The longest span that started inside [from, to], in ms.
inline double LongestSpan(const std::vector<std::pair<std::int64_t, std::int64_t>>& spans,
                          std::int64_t from, std::int64_t to)
{
    std::int64_t worst = 0;
    for (const auto& [start, end] : spans)
        if (start >= from && start <= to)
            worst = std::max(worst, end - start);
    return Ms(worst);
}

// Percentile of a sorted vector (nearest rank).
inline double Percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty())
        return 0;
    std::size_t rank = std::size_t(p / 100.0 * double(sorted.size()) + 0.999999);
    rank = std::clamp<std::size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

// Every change of a control's text, with the time it was set.
struct TextEvent {
    std::int64_t ns;
    int id;
    std::u16string text;
};

// Forwards everything to the wrapped window and records the texts the
// console sets into the status label and the rows it adds to the history
// box.
class ProbeWindow : public wsys::IWindow {
public:
    explicit ProbeWindow(std::unique_ptr<wsys::IWindow> inner) : m_inner(std::move(inner)) {}

    // User-interface thread, as the console calls it.
    std::function<void(const TextEvent&)> onText;

    int RunModal() override { return m_inner->RunModal(); }
    void EndDialog(int result) override { m_inner->EndDialog(result); }
    std::u16string GetItemText(int id) const override { return m_inner->GetItemText(id); }
    void SetItemText(int id, const std::u16string& text) override
    {
        const std::int64_t t = NowNs();
        m_inner->SetItemText(id, text);
        if (onText && (id == res::IDC_STATUS || id == res::IDC_HISTORY))
            onText(TextEvent{t, id, text});
    }
    // The history box's event carries the rows it was given.
    void UpdateRows(int id, const wsys::RowChange& change) override
    {
        const std::int64_t t = NowNs();
        m_inner->UpdateRows(id, change);
        if (onText && id == res::IDC_HISTORY)
            onText(TextEvent{t, id, wsys::JoinRows(change.added, u"\r\n")});
    }
    void LimitText(int id, int maxUnits) override { m_inner->LimitText(id, maxUnits); }
    void SetInputFilter(int id, std::function<bool(const std::u16string&)> accept) override
    {
        m_inner->SetInputFilter(id, std::move(accept));
    }
    void SetCopyAllEntry(int id, const std::u16string& label,
                         std::function<std::u16string()> text) override
    {
        m_inner->SetCopyAllEntry(id, label, std::move(text));
    }
    void AddContextCommand(int id, int command, const std::u16string& label,
                           bool checkable) override
    {
        m_inner->AddContextCommand(id, command, label, checkable);
    }
    void SetContextCheck(int id, int command, bool checked) override
    {
        m_inner->SetContextCheck(id, command, checked);
    }
    void AddFindEntry(int id) override { m_inner->AddFindEntry(id); }
    void SetLineRecall(int id, Recall recall) override
    {
        m_inner->SetLineRecall(id, std::move(recall));
    }
    void SetItemToolTip(int id, const std::u16string& text) override
    {
        m_inner->SetItemToolTip(id, text);
    }
    void SetTimer(int id, int periodMs) override { m_inner->SetTimer(id, periodMs); }
    void KillTimer(int id) override { m_inner->KillTimer(id); }
    bool AppendSystemMenu(wsys::MenuItem kind, int id, const std::u16string& text) override
    {
        return m_inner->AppendSystemMenu(kind, id, text);
    }
    void SetIcon(wsys::IconHandle icon, bool big) override { m_inner->SetIcon(icon, big); }
    bool IsIconic() const override { return m_inner->IsIconic(); }
    wsys::Size ClientSize() const override { return m_inner->ClientSize(); }
    wsys::Size SystemIconSize() const override { return m_inner->SystemIconSize(); }
    void DrawIcon(int x, int y, wsys::IconHandle icon) override { m_inner->DrawIcon(x, y, icon); }
    // Each posted call is timed where it runs, on the user-interface
    // thread.
    void Post(std::function<void()> fn) override
    {
        m_inner->Post([spans = postSpans, fn = std::move(fn)] {
            const std::int64_t start = NowNs();
            fn();
            spans->emplace_back(start, NowNs());
        });
    }

    // (start, end) of every posted call run so far, written on the
    // user-interface thread; kept by whoever holds it after the window.
    using Spans = std::vector<std::pair<std::int64_t, std::int64_t>>;
    std::shared_ptr<Spans> postSpans = std::make_shared<Spans>();

private:
    std::unique_ptr<wsys::IWindow> m_inner;
};

class ProbeWindowSystem : public wsys::IWindowSystem {
public:
    explicit ProbeWindowSystem(wsys::IWindowSystem& inner) : m_inner(inner) {}

    // Called with each console window as it is made, before it runs.
    std::function<void(ProbeWindow&)> onConsole;

    std::unique_ptr<wsys::IWindow> CreateDialogWindow(int templateId,
                                                      wsys::IDialogHandler& handler) override
    {
        auto inner = m_inner.CreateDialogWindow(templateId, handler);
        if (!inner || templateId != res::IDD_WENDREL_DIALOG)
            return inner;
        auto wnd = std::make_unique<ProbeWindow>(std::move(inner));
        if (onConsole)
            onConsole(*wnd);
        return wnd;
    }
    wsys::IconHandle LoadIcon(int id) override { return m_inner.LoadIcon(id); }

private:
    wsys::IWindowSystem& m_inner;
};

// The last of the rows in a history box's event ("...\r\n<last>").
inline std::u16string LastLine(const std::u16string& rendered)
{
    std::size_t nl = rendered.rfind(u'\n');
    return nl == std::u16string::npos ? rendered : rendered.substr(nl + 1);
}

}  // namespace bench
