// The console on Windows (the real CWendrelDlg and CHidDevice on the
// Win32 window system) against a burst of the board, under Wine:
//
//   win32_console_bench COUNT READY_FILE
//
// Connects to the board, creates READY_FILE (a Unix path), then counts
// the COUNT numbered reports of the burst on their way into OnReceive,
// and ends 3 s after the last one (60 s when none comes).
// First: it takes back the macros of windows.h that rename portable names.
#include "win32_window_system.h"

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>

#include "wendrel_dlg.h"
#include "win32_counter.h"

namespace {

const std::u16string kConnected = u"VID:0x04D8 / PID:0x003F";
constexpr int kWatchTimer = 90;

class CCountingDlg : public CWendrelDlg {
public:
    CCountingDlg(wsys::IWindowSystem& ws, int count, const char* ready)
        : CWendrelDlg(ws), m_counter(count), m_count(count), m_ready(ready)
    {
    }

    // On the reader thread, as the console gets it.
    void OnReceive(const std::u16string& text, std::span<const std::uint8_t> bytes) override
    {
        m_counter.Count(text.data(), text.size());
        CWendrelDlg::OnReceive(text, bytes);
    }

    const bench::CBurstCounter& Counter() const { return m_counter; }
    double CpuMs() const { return m_cpuMs; }
    double ConnectedMs() const { return m_connectedMs; }

protected:
    bool OnInitDialog() override
    {
        const bool result = CWendrelDlg::OnInitDialog();
        m_startMs = bench::NowMs();
        Window()->SetTimer(kWatchTimer, 20);
        return result;
    }

    void OnTimer(int id) override
    {
        if (id != kWatchTimer) return CWendrelDlg::OnTimer(id);
        const double now = bench::NowMs();
        if (m_readyMs == 0) {
            if (m_strStatus == kConnected) {
                m_readyMs = now;
                m_connectedMs = now - m_startMs;
                m_cpu0 = bench::ProcessCpuMs();
                bench::Touch(m_ready);
            } else if (now - m_startMs > 120000) {
                EndDialog(1);
            }
            return;
        }
        const int received = m_counter.Received();
        const bool quiet = received ? now - m_counter.LastMs() > 3000 : now - m_readyMs > 60000;
        if (received >= m_count || quiet) {
            m_cpuMs = bench::ProcessCpuMs() - m_cpu0;
            EndDialog(0);
        }
    }

private:
    bench::CBurstCounter m_counter;
    const int m_count;
    const char* m_ready;
    double m_startMs = 0;
    double m_readyMs = 0;
    double m_connectedMs = 0;
    double m_cpu0 = 0;
    double m_cpuMs = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: win32_console_bench COUNT READY_FILE\n");
        return 2;
    }
    std::setlocale(LC_ALL, "");
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = 0xFF;
    InitCommonControlsEx(&icc);

    CWin32WindowSystem ws;
    CCountingDlg dlg(ws, std::atoi(argv[1]), argv[2]);
    const int result = dlg.DoModal();
    dlg.Counter().Report("console", dlg.CpuMs(),
                         ",\"connected_ms\":" + std::to_string(dlg.ConnectedMs()));
    return result;
}
