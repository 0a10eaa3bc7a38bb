// The history box alone, on the host: its user-interface work per row
// when k rows arrive in a frame, on a full box of 1000 rows (the oldest k
// leave as they come), painted after each frame as the screen would be.
// Shows whether the box's work per frame grows with the rows of the frame
// or with the rows it holds. Prints one BENCH line per frame size.
//
//   box_bench [a11y] [times] [ROWS_PER_FRAME]
//
// "a11y" turns Qt's accessibility on (as a screen reader or the test
// rig's AT-SPI bus does), "times" makes the rows as long as with times.
#include <QAccessible>
#include <QApplication>
#include <QDialog>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "qt_row_box.h"

namespace {

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

std::u16string Row(int n, bool times)
{
    std::string s = (times ? "12:34:56.789  " : "") + std::to_string(n) + " " +
                    std::string(40, static_cast<char>('a' + n % 26));
    return std::u16string(s.begin(), s.end());
}

}  // namespace

int main(int argc, char** argv)
{
    bool a11y = false, times = false;
    std::vector<int> sizes = {1, 4, 16, 64, 256};
    for (int i = 1; i < argc; ++i) {
        a11y |= std::string(argv[i]) == "a11y";
        times |= std::string(argv[i]) == "times";
        if (std::atoi(argv[i]) > 0)
            sizes = {std::atoi(argv[i])};
    }
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.resize(480, 320);
    auto* box = new CQtRowBox(&dialog);
    box->setReadOnly(true);
    box->setGeometry(10, 10, 460, 230);
    dialog.show();
    if (a11y)
        QAccessible::setActive(true);

    int serial = 0;
    wsys::RowChange fill;
    fill.replace = true;
    for (; serial < 1000; ++serial)
        fill.added.push_back(Row(serial, times));
    box->Update(fill);
    box->repaint();

    for (const int k : sizes) {
        const int frames = std::max(20, 2048 / k);
        const double start = ThreadCpuMs();
        for (int f = 0; f < frames; ++f) {
            wsys::RowChange change;
            change.removed = k;
            for (int i = 0; i < k; ++i)
                change.added.push_back(Row(serial++, times));
            box->Update(change);
            box->viewport()->repaint();
            QCoreApplication::processEvents();
        }
        const double ms = ThreadCpuMs() - start;
        std::printf("BENCH {\"row\":\"box\",\"rows_per_frame\":%d,\"frames\":%d,\"a11y\":%s,"
                    "\"times\":%s,\"us_per_frame\":%.1f,\"us_per_row\":%.2f}\n",
                    k, frames, a11y ? "true" : "false", times ? "true" : "false",
                    ms * 1e3 / frames, ms * 1e3 / (frames * k));
    }
    return 0;
}
