// What the console bench's modes share: the console with every received
// line noted, the user-interface loop's gaps and what held the loop
// during one, the console window's parts as its user reaches them, and
// the output.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "probe.h"
#include "qt_dialog_window.h"
#include "qt_window_system.h"
#include "wendrel_dlg.h"

namespace bench {

inline const std::u16string kConnected = u"VID:0x04D8 / PID:0x003F";
inline const std::u16string kDisconnected = u"Non Connections";

// The console, with every received line noted on its way in.
class CountingDlg : public CWendrelDlg {
public:
    CountingDlg(wsys::IWindowSystem& ws, int count)
        : CWendrelDlg(ws), sendNs(std::size_t(count) + 1, -1), recvNs(std::size_t(count) + 1, -1)
    {
    }

    void OnReceive(const std::u16string& text, std::span<const std::uint8_t> bytes) override
    {
        const std::int64_t now = NowNs();
        const long long seq = bench::LeadingNumber(text);
        if (seq > 0 && std::size_t(seq) < recvNs.size()) {
            if (recvNs[seq] >= 0)
                ++duplicates;
            else {
                recvNs[seq] = now;
                sendNs[seq] = bench::SecondNumber(text);
            }
            if (seq <= lastSeq)
                ++outOfOrder;
            lastSeq = seq;
        }
        if (firstNs.load() == 0)
            firstNs = now;
        lastNs = now;
        ++received;
        CWendrelDlg::OnReceive(text, bytes);
    }

    // Each tick that connected, timed from its start to its end, so that a
    // slow plug can be split into the wait for a tick and the tick's work.
    void OnTimer(int id) override
    {
        const std::int64_t start = NowNs();
        const std::int64_t cpuStart = bench::ThreadCpuNs();
        const std::u16string before = m_strDevicePath;
        CWendrelDlg::OnTimer(id);
        std::lock_guard<std::mutex> g(tickLock);
        tickSpans.push_back({start, NowNs(), bench::ThreadCpuNs() - cpuStart});
        if (!m_strDevicePath.empty() && m_strDevicePath != before)
            connectTicks.push_back({start, NowNs()});
        else
            otherTicks.push_back(start);
    }
    struct Tick {
        std::int64_t start, end;
        std::int64_t cpu = 0;  // on-CPU time of the tick's thread
    };
    // The longest tick that started inside [from, to], in ms.
    double LongestTick(std::int64_t from, std::int64_t to)
    {
        std::lock_guard<std::mutex> g(tickLock);
        std::int64_t worst = 0;
        for (const Tick& t : tickSpans)
            if (t.start >= from && t.start <= to)
                worst = std::max(worst, t.end - t.start);
        return Ms(worst);
    }
    std::mutex tickLock;
    std::vector<Tick> connectTicks;
    std::vector<Tick> tickSpans;
    std::vector<std::int64_t> otherTicks;

    // Written by the reader thread only; read after it has been joined.
    std::vector<std::int64_t> sendNs, recvNs;
    long long lastSeq = 0;
    int duplicates = 0;
    int outOfOrder = 0;
    std::atomic<int> received{0};
    std::atomic<std::int64_t> firstNs{0};
    std::atomic<std::int64_t> lastNs{0};
};

// Every event the application delivers on the user-interface thread that
// takes 0.5 ms or more, outermost deliveries only: what held the loop.
class EventLog {
public:
    struct Span {
        std::int64_t start = 0, end = 0;
        int type = 0;
        std::string receiver;  // class and object name
    };
    void Note(std::int64_t start, std::int64_t end, const QObject* receiver, const QEvent* e)
    {
        if (end - start < 500'000)
            return;
        std::string name = receiver ? receiver->metaObject()->className() : "?";
        if (receiver && !receiver->objectName().isEmpty())
            name += " " + receiver->objectName().toStdString();
        spans.push_back({start, end, int(e->type()), std::move(name)});
    }
    // The delivery that overlaps [from, to] the most; an empty span where
    // none does.
    Span Longest(std::int64_t from, std::int64_t to) const
    {
        Span best;
        std::int64_t bestOverlap = 0;
        for (const Span& s : spans) {
            const std::int64_t overlap = std::min(s.end, to) - std::max(s.start, from);
            if (overlap > bestOverlap) {
                best = s;
                bestOverlap = overlap;
            }
        }
        return best;
    }
    std::vector<Span> spans;
};

inline EventLog& Events()
{
    static EventLog log;
    return log;
}

// The application, timing each delivery of an event.
class BenchApp : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* e) override
    {
        if (m_nDepth++ > 0) {
            const bool done = QApplication::notify(receiver, e);
            --m_nDepth;
            return done;
        }
        const std::int64_t start = NowNs();
        const bool done = QApplication::notify(receiver, e);
        --m_nDepth;
        Events().Note(start, NowNs(), receiver, e);
        return done;
    }

private:
    int m_nDepth = 0;
};

// Times at which a 1 ms timer on the user-interface thread fired. With
// `sample`, each firing also notes the thread's time on a CPU and its time
// waiting for one (schedstat), so that a gap can be told to be the
// thread's own work or the machine's.
class LoopGaps {
public:
    struct Firing {
        std::int64_t ns = 0;
        std::int64_t cpu = -1;
        std::int64_t waited = -1;
    };
    // The largest interval [from, to] and the firings that bound it
    // (-1: an edge of the span looked at).
    struct Gap {
        std::int64_t from = 0, to = 0;
        long before = -1, after = -1;
        double ms() const { return Ms(to - from); }
    };

    ~LoopGaps()
    {
        if (m_fd >= 0)
            close(m_fd);
    }

    void Start(bool sample = false)
    {
        if (sample)
            m_fd = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this, sample] {
            Firing f{NowNs()};
            if (sample) {
                f.cpu = ThreadCpuNs();
                f.waited = Waited();
            }
            m_fired.push_back(f);
        });
        m_timer.start(1);
    }

    Gap LargestGap(std::int64_t from, std::int64_t to) const
    {
        Gap worst{from, from};
        std::int64_t prev = from;
        long prevIndex = -1;
        for (std::size_t i = 0; i < m_fired.size(); ++i) {
            const std::int64_t t = m_fired[i].ns;
            if (t < from) {
                prevIndex = long(i);
                continue;
            }
            if (t > to)
                break;
            if (t - prev > worst.to - worst.from)
                worst = {prev, t, prev == from ? -1 : prevIndex, long(i)};
            prev = t;
            prevIndex = long(i);
        }
        if (to - prev > worst.to - worst.from)
            worst = {prev, to, prevIndex, -1};
        return worst;
    }
    // Largest interval between firings inside [from, to], the edges
    // counted; in ms.
    double Largest(std::int64_t from, std::int64_t to) const { return LargestGap(from, to).ms(); }

    // Within a gap between two sampled firings: the thread's time on a CPU
    // and its wait for one, in ms; -1 where not known.
    double OnCpuMs(const Gap& g) const { return Between(g, &Firing::cpu); }
    double WaitedMs(const Gap& g) const { return Between(g, &Firing::waited); }

private:
    std::int64_t Waited() const
    {
        char buf[96];
        const ssize_t n = m_fd >= 0 ? pread(m_fd, buf, sizeof buf - 1, 0) : -1;
        if (n <= 0)
            return -1;
        buf[n] = 0;
        unsigned long long running = 0, waiting = 0;
        return std::sscanf(buf, "%llu %llu", &running, &waiting) == 2 ? std::int64_t(waiting) : -1;
    }
    double Between(const Gap& g, std::int64_t Firing::*field) const
    {
        if (g.before < 0 || g.after < 0)
            return -1;
        const std::int64_t a = m_fired[g.before].*field, b = m_fired[g.after].*field;
        return a >= 0 && b >= 0 ? Ms(b - a) : -1;
    }

    QTimer m_timer;
    std::vector<Firing> m_fired;
    int m_fd = -1;
};

// What held the loop during `gap`: the thread's time on a CPU and waiting
// for one, and the longest event delivered meanwhile.
inline std::vector<std::pair<std::string, double>> GapCause(const LoopGaps& gaps,
                                                            const LoopGaps::Gap& gap,
                                                            const std::string& prefix,
                                                            std::string& event)
{
    const EventLog::Span held = Events().Longest(gap.from, gap.to);
    event = held.end ? "type " + std::to_string(held.type) + " to " + held.receiver : "none";
    return {
        {prefix + "_cpu_ms", gaps.OnCpuMs(gap)},
        {prefix + "_waited_ms", gaps.WaitedMs(gap)},
        {prefix + "_event_ms", held.end ? Ms(std::min(held.end, gap.to) -
                                             std::max(held.start, gap.from))
                                        : 0},
    };
}

// The report's number in a row of the box, past its time where it shows
// one ("HH:MM:SS.mmm  <seq> ..."), and read from its bytes where the box
// shows those ("31 32 20 ...").
inline long long RowNumber(const std::u16string& row)
{
    const bool timed = row.size() > 14 && row[2] == u':' && row[5] == u':' && row[8] == u'.' &&
                       row[12] == u' ' && row[13] == u' ';
    const std::size_t from = timed ? 14 : 0;
    auto hex = [](char16_t c) {
        return c >= u'0' && c <= u'9' ? c - u'0' : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
    };
    // Bytes: pairs of hex digits, one space between, and nothing else (a
    // row "12 345..." is a number, not bytes).
    std::u16string bytes;
    bool isBytes = (row.size() - from) % 3 == 2;
    for (std::size_t i = from; isBytes && i + 1 < row.size(); i += 3) {
        const int hi = hex(row[i]), lo = hex(row[i + 1]);
        isBytes = hi >= 0 && lo >= 0 && (i + 2 == row.size() || row[i + 2] == u' ');
        bytes += static_cast<char16_t>(hi * 16 + lo);
    }
    return isBytes ? LeadingNumber(bytes, 0) : LeadingNumber(row, from);
}

// The console window and its history box, as its user reaches them.
inline CQtDialogWindow* ConsoleWindow()
{
    return dynamic_cast<CQtDialogWindow*>(QApplication::activeModalWidget());
}

inline QPlainTextEdit* HistoryBox()
{
    CQtDialogWindow* wnd = ConsoleWindow();
    return wnd ? wnd->findChild<QPlainTextEdit*>(QStringLiteral("history")) : nullptr;
}

// Chooses the entry named `entry` (its object name) of the history box's
// context menu, as a click on it would; false where there is none.
inline bool ChooseFromHistoryMenu(const char* entry)
{
    CQtDialogWindow* wnd = ConsoleWindow();
    QPlainTextEdit* box = HistoryBox();
    if (!wnd || !box)
        return false;
    QMenu* menu = wnd->CreateContextMenu(box);
    QAction* chosen = nullptr;
    for (QAction* action : menu->actions())
        if (action->objectName() == QLatin1String(entry))
            chosen = action;
    if (chosen)
        chosen->trigger();
    delete menu;
    return chosen != nullptr;
}

inline void Touch(const char* path) { std::ofstream(path) << "ready\n"; }

inline bool WriteFile(const std::string& path, const std::string& value)
{
    std::ofstream out(path);
    out << value;
    out.flush();
    return bool(out);
}

inline std::string Json(const std::vector<std::pair<std::string, double>>& figures, const char* mode)
{
    std::string out = std::string("{\"mode\":\"") + mode + "\"";
    char buf[64];
    for (const auto& [key, value] : figures) {
        std::snprintf(buf, sizeof buf, "%.3f", value);
        out += ",\"" + key + "\":" + buf;
    }
    return out + "}";
}

inline void Report(const char* mode, const std::vector<std::pair<std::string, double>>& figures)
{
    std::printf("BENCH %s\n", Json(figures, mode).c_str());
    for (const auto& [key, value] : figures)
        std::printf("  %-24s %.3f\n", key.c_str(), value);
    std::fflush(stdout);
}


// A report with words beside the figures.
inline void ReportWith(const char* mode, const std::vector<std::pair<std::string, double>>& figures,
                       const std::vector<std::pair<std::string, std::string>>& words)
{
    std::string json = Json(figures, mode);
    json.pop_back();
    for (const auto& [key, text] : words) {
        std::string quoted;
        for (char c : text)
            quoted += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
        json += ",\"" + key + "\":\"" + quoted + "\"";
    }
    std::printf("BENCH %s}\n", json.c_str());
    for (const auto& [key, value] : figures)
        std::printf("  %-24s %.3f\n", key.c_str(), value);
    for (const auto& [key, text] : words)
        std::printf("  %-24s %s\n", key.c_str(), text.c_str());
    std::fflush(stdout);
}

}  // namespace bench
