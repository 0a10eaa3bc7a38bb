// The history box of a full ring as its user goes through it: paging from
// the newest row to the oldest and back, searches for rows near either end
// and for text that is not there, and times, bytes and events each turned
// on and off over every row. Each step is timed, and so is the loop's largest gap during each
// part. A mode of console_bench.
#pragma once

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include <functional>

#include "bench_common.h"

namespace bench {

inline void PressKey(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(w, &release);
}

inline int RunBrowse(int count, const char* readyFile)
{
    CQtWindowSystem qtws;
    ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, count);
    LoopGaps gaps;
    ProbeWindow* wnd = nullptr;
    long long lastShown = 0;
    ws.onConsole = [&](ProbeWindow& w) {
        wnd = &w;
        w.onText = [&](const TextEvent& e) {
            if (e.id == res::IDC_STATUS && e.text == kConnected)
                Touch(readyFile);
            else if (e.id == res::IDC_HISTORY)
                lastShown = std::max(lastShown, RowNumber(LastLine(e.text)));
        };
    };

    // One part: steps run one a tick until a step says it was the last.
    struct Part {
        const char* name;
        int everyMs;                     // as often as its user would
        std::function<bool(int)> step;  // step n; false: no further step
        std::int64_t start = 0, end = 0;
        double longest = 0;
        int steps = 0;
    };
    QPlainTextEdit* box = nullptr;
    QDialog* find = nullptr;
    const char* const needles[] = {"1 ", "999 ", "500 ", "not there", "2 ", "1000 "};
    int found = 0, missed = 0, toggles = 0;
    bool down = false;
    std::vector<Part> parts = {
        {"page", 30,
         [&](int) {
             // As a held key: up to the oldest row, down to the newest.
             QScrollBar* bar = box->verticalScrollBar();
             if (!down && bar->value() == 0)
                 down = true;
             if (down && bar->value() == bar->maximum()) {
                 PressKey(box, Qt::Key_Home, Qt::ControlModifier);
                 PressKey(box, Qt::Key_End, Qt::ControlModifier);
                 return false;
             }
             PressKey(box, down ? Qt::Key_PageDown : Qt::Key_PageUp);
             return true;
         }},
        {"find", 100,
         [&](int n) {
             if (n == 0)
                 return ChooseFromHistoryMenu("open");  // opens on the loop's next turn
             if (!find)
                 find = ConsoleWindow()->findChild<QDialog*>(QStringLiteral("find"));
             if (!find || n > int(std::size(needles)) * 3) {
                 if (find)
                     find->reject();
                 return false;
             }
             const char* needle = needles[(n - 1) % std::size(needles)];
             find->findChild<QLineEdit*>(QStringLiteral("findText"))
                 ->setText(QString::fromLatin1(needle));
             find->findChild<QPushButton*>(QStringLiteral("findNext"))->click();
             if (box->textCursor().selectedText() == QLatin1String(needle))
                 ++found;
             else
                 ++missed;
             return true;
         }},
        {"times", 200,
         [&](int n) {
             if (n >= 10)
                 return false;
             toggles += ChooseFromHistoryMenu("command32771");
             return true;
         }},
        {"bytes", 200,
         [&](int n) {
             if (n >= 10)
                 return false;
             toggles += ChooseFromHistoryMenu("command32780");
             return true;
         }},
        {"events", 200,
         [&](int n) {
             if (n >= 10)
                 return false;
             toggles += ChooseFromHistoryMenu("command32781");
             return true;
         }},
    };

    std::size_t at = 0;
    int stepNo = 0;
    int rows = -1;
    std::int64_t rowsShownAt = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const std::int64_t now = NowNs();
        if (!box) {
            // Waits for the whole ring, shown, and a moment to settle.
            if (lastShown < count)
                return;
            if (!rowsShownAt)
                rowsShownAt = now;
            if (now - rowsShownAt < 500'000'000)
                return;
            box = HistoryBox();
        }
        if (at == parts.size()) {
            rows = box->document()->blockCount();
            wnd->EndDialog(0);
            return;
        }
        Part& part = parts[at];
        if (stepNo == 0) {
            part.start = now;
            tick.setInterval(part.everyMs);
        }
        const bool more = part.step(stepNo++);
        part.longest = std::max(part.longest, Ms(NowNs() - now));
        part.end = NowNs();
        if (more) {
            ++part.steps;
        } else {
            ++at;
            stepNo = 0;
            // The next part once the last step is drawn.
            tick.setInterval(300);
        }
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&] { wnd->EndDialog(1); });
    limit.start(300'000);
    gaps.Start();
    tick.start(30);
    dlg.DoModal();

    std::vector<std::pair<std::string, double>> figures = {
        {"rows", double(rows)}};
    for (const Part& part : parts) {
        const std::string name = part.name;
        const bool ran = part.start && part.steps > 0;
        // Through the drawing after the last step.
        figures.push_back({"ui_gap_" + name + "_ms",
                           ran ? gaps.Largest(part.start, part.end + 100'000'000) : -1});
        figures.push_back({name + "_step_max_ms", ran ? part.longest : -1});
        figures.push_back({name + "_steps", double(part.steps)});
    }
    figures.push_back({"found", double(found)});
    figures.push_back({"missed", double(missed)});
    figures.push_back({"toggles", double(toggles)});
    Report("browse", figures);
    return box && at == parts.size() ? 0 : 1;
}

}  // namespace bench
