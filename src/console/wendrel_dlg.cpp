#include "wendrel_dlg.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "about_dlg.h"
#include "codepage.h"
#include "icon_position.h"

CWendrelDlg::CWendrelDlg(wsys::IWindowSystem& ws, std::shared_ptr<hid::Platform> platform)
    : CDialog(ws, res::IDD_WENDREL_DIALOG), m_device(std::move(platform))
{
    m_hIcon = ws.LoadIcon(res::IDR_MAINFRAME);
    // Scans and opens report back on the user-interface thread, as soon as
    // they are done; while no window is there, their results are dropped.
    m_device.SetPoster([this](std::function<void()> fn) { PostToWindow(std::move(fn)); });
}

CWendrelDlg::~CWendrelDlg()
{
    // Normally already closed by OnDestroy; a backstop for a dialog that
    // is dropped some other way.
    m_device.Close();
}

void CWendrelDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, res::IDC_STATUS, m_strStatus);
    DDX_Text(pDX, res::IDC_SEND_TEXT, m_strSend);
    DDV_MaxChars(pDX, m_strSend, kMaxSendChars);
}

bool CWendrelDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    wsys::IWindow* wnd = Window();
    const std::u16string about = res::LoadString(res::IDS_ABOUTBOX);
    if (!about.empty()) {
        if (wnd->AppendSystemMenu(wsys::MenuItem::Separator, 0, u""))
            wnd->AppendSystemMenu(wsys::MenuItem::Text, res::IDM_ABOUTBOX, about);
    }
    wnd->SetIcon(m_hIcon, true);
    wnd->SetIcon(m_hIcon, false);
    wnd->SetInputFilter(res::IDC_SEND_TEXT,
                        [this](const std::u16string& text) { return FitsOutputReport(text); });
    // The history box's menu, in this order.
    wnd->AddContextCommand(res::IDC_HISTORY, res::IDM_SHOW_TIMES,
                           res::LoadString(res::IDS_SHOW_TIMES), true);
    wnd->SetContextCheck(res::IDC_HISTORY, res::IDM_SHOW_TIMES, m_history.ShowsTimes());
    wnd->AddContextCommand(res::IDC_HISTORY, res::IDM_SHOW_BYTES,
                           res::LoadString(res::IDS_SHOW_BYTES), true);
    wnd->SetContextCheck(res::IDC_HISTORY, res::IDM_SHOW_BYTES, m_history.ShowsBytes());
    wnd->AddContextCommand(res::IDC_HISTORY, res::IDM_SHOW_EVENTS,
                           res::LoadString(res::IDS_SHOW_EVENTS), true);
    wnd->SetContextCheck(res::IDC_HISTORY, res::IDM_SHOW_EVENTS, m_history.ShowsEvents());
    wnd->AddFindEntry(res::IDC_HISTORY);
    wnd->AddContextCommand(res::IDC_HISTORY, res::IDM_CLEAR_HISTORY,
                           res::LoadString(res::IDS_CLEAR_HISTORY), false);
    wnd->SetCopyAllEntry(res::IDC_HISTORY, std::u16string(texts::kCopyAllHistory),
                         [this] { return m_history.ShownRows(); });
    wnd->AddContextCommand(res::IDC_HISTORY, res::IDM_SAVE_HISTORY,
                           res::LoadString(res::IDS_SAVE_AS), false);
    wnd->AddCommandKey(u'S', res::IDM_SAVE_HISTORY);
    wnd->SetLineRecall(res::IDC_SEND_TEXT, [this](bool older, const std::u16string& current) {
        return Recall(older, current);
    });
    wnd->SetTimer(res::IDT_POLL, kPollMs);
    // The box starts empty: rows that arrived while no window was there to
    // show them go in at once.
    if (const wsys::RowChange rows = m_history.Refill(); !rows.Empty())
        wnd->UpdateRows(res::IDC_HISTORY, rows);
    ShowHistory();
    return true;
}

void CWendrelDlg::OnCommand(int id)
{
    if (id == res::IDC_BOOT)
        OnBnClickedBoot();
    else if (id == res::IDM_SHOW_TIMES)
        OnShowTimes();
    else if (id == res::IDM_CLEAR_HISTORY)
        OnClearHistory();
    else if (id == res::IDM_SHOW_BYTES)
        OnShowBytes();
    else if (id == res::IDM_SHOW_EVENTS)
        OnShowEvents();
    else if (id == res::IDM_SAVE_HISTORY)
        // Once the menu that chose it has gone, and not inside the
        // caller's handling of the key or the entry.
        PostToWindow([this] { OnSaveHistory(); });
    else
        CDialog::OnCommand(id);
}

void CWendrelDlg::OnSysCommand(int id, long param)
{
    if ((id & 0xFFF0) == res::IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(WindowSystem());
        dlgAbout.DoModal();
    } else {
        CDialog::OnSysCommand(id, param);
    }
}

void CWendrelDlg::OnPaint()
{
    wsys::IWindow* wnd = Window();
    if (wnd && wnd->IsIconic()) {
        const wsys::Size at = MinimisedIconOrigin(wnd->ClientSize(), wnd->SystemIconSize());
        wnd->DrawIcon(at.cx, at.cy, m_hIcon);
    } else {
        CDialog::OnPaint();
    }
}

wsys::IconHandle CWendrelDlg::OnQueryDragIcon() { return m_hIcon; }

void CWendrelDlg::OnDestroy()
{
    // The connection lives as long as the window. Closing it here, while
    // the whole object is intact, means no delivery can reach OnReceive
    // once destruction (of this class or one derived from it) has begun.
    m_device.Close();
    SetLinkState(LinkState::Starting, {});
    CDialog::OnDestroy();
}

void CWendrelDlg::OnTimer(int id)
{
    if (id == res::IDT_FRAME) {
        if (!ShowNewestHistory() && Window())
            Window()->KillTimer(res::IDT_FRAME);
    } else if (id == res::IDT_NOTE) {
        EndNote();
    } else {
        // A scan now and then whatever the platform's watch says: where it
        // never speaks (a container gets no device events), a board plugged
        // in after the start is still found.
        if (link_state::IsOpen(m_link)) {
            m_nTicksSinceRescan = 0;
        } else if (++m_nTicksSinceRescan >= kRescanTicks) {
            m_nTicksSinceRescan = 0;
            m_device.ForgetScan();
        }
        Look(true);
    }
    CDialog::OnTimer(id);
}

// A look may need a thread of the device layer that the system cannot
// make: the console then says so and tries again at the next tick, rather
// than let the error end the program.
void CWendrelDlg::Look(bool tick)
{
    try {
        const bool idle = Poll();
        if (tick)
            WatchChanges(idle);
        if (m_link == LinkState::CannotWatch)
            Enter(m_linkBeforeProblem);
        m_strThreadError.clear();
    } catch (const std::system_error& e) {
        if (m_strThreadError != e.what()) {
            m_strThreadError = e.what();
            std::fprintf(stderr, "%s\n", texts::CannotWatchLog(m_strThreadError).c_str());
        }
        // An open connection goes on without the watch.
        if (link_state::IsOpen(m_link))
            return;
        if (m_link != LinkState::CannotWatch)
            Enter(LinkState::CannotWatch);
        SetStatusTip(texts::CannotWatchTip(m_strThreadError));
    }
}

// The poll cycle. Nothing here waits for the kernel: a scan and an open
// run on the device's worker, and their completions come back here (or to
// OnOpened) on the user-interface thread as soon as they are done.
bool CWendrelDlg::Poll()
{
    // Every look runs the timer again; a quiet one may stop it after.
    if (m_link == LinkState::ConnectedIdle)
        Enter(LinkState::Connected, m_strDevicePath);
    // The open in flight ends this cycle itself; no second one starts.
    if (m_device.IsOpening())
        return false;
    // A reader that ended (a read error, or the board gone and back under
    // the same path between two looks) has lost the board: let go of it,
    // and the discovery below opens it again if it is there. A board on
    // trial after readers that kept ending at once is connected once its
    // reader lasts.
    const Clock::time_point now = m_pfnNow();
    if (m_device.IsOpen() && !m_device.IsReading()) {
        LoseReader();
    } else if (m_link == LinkState::Unreadable && m_device.IsOpen() && m_backoff.Lasted(now)) {
        m_backoff.Reset();
        Enter(LinkState::Connected, m_backoff.Path());
    }

    std::u16string path;
    const CHidDevice::Presence presence =
        m_device.PollDevices(m_nVid, m_nPid, path, [this] { Look(false); });
    if (presence == CHidDevice::Presence::NotYetKnown)
        return false;  // a scan runs; it calls Poll when it is done
    if (presence == CHidDevice::Presence::Absent) {
        m_strRefusedPath.clear();
        m_nRefusals = 0;
        m_backoff.Reset();
        if (m_link != LinkState::Disconnected && m_link != LinkState::CannotWatch)
            Disconnect();
        return false;
    }
    if (path == m_strDevicePath)
        return true;  // connected, and nothing new
    if (m_device.IsOpen() && m_link == LinkState::Unreadable && path == m_backoff.Path())
        return false;  // on trial
    if (!m_backoff.MayOpen(path, now))
        return false;  // its reader keeps ending at once: not yet again
    // Opening another path closes the connection there is: the status says
    // so at once, rather than naming a closed board until (and unless) the
    // new one opens.
    if (link_state::IsOpen(m_link))
        Disconnect();
    m_device.OpenAsync(path, this,
                       [this, path](int ok, hid::OpenError error) { OnOpened(path, ok, error); });
    return false;
}

// Every tick asks the device layer for word of the next change (devices
// come or go, the reader ends), which is then handled at once rather than
// at the next tick: a board is connected as soon as its node appears, and
// shown as gone as soon as its reader ends. Asked once a tick, so a storm
// of device events costs at most one extra look a tick.
//
// Connected, a tick that found nothing new stops the timer until then, so
// that an idle console costs no wake-ups. Where the platform cannot tell
// of changes, the timer ticks on; disconnected, it always ticks, since a
// board that may not be opened, or that another program holds, is retried
// on every tick: nothing tells when that ends.
void CWendrelDlg::WatchChanges(bool pause)
{
    if (!Window() || !m_device.WatchChanges([this] { OnDevicesChanged(); }))
        return;
    // The reader is looked at only now: one that ends from here on finds
    // the watch armed.
    if (pause && m_link == LinkState::Connected && m_device.IsReading())
        Enter(LinkState::ConnectedIdle, m_strDevicePath);
}

void CWendrelDlg::OnDevicesChanged()
{
    if (Window())
        Look(false);
}

// Also a board that was never opened: the state says what the dialog shows.
void CWendrelDlg::Disconnect()
{
    m_device.Close();
    Enter(LinkState::Disconnected);
}

// The reader has ended by itself while the board may still be listed.
void CWendrelDlg::LoseReader()
{
    const bool wasFailing = m_backoff.Failing();
    if (!m_backoff.ReaderEnded(m_pfnNow())) {
        Disconnect();
        return;
    }
    m_device.Close();
    if (!wasFailing) {
        const auto ms = [](auto d) {
            return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
        };
        std::fprintf(stderr, "%s\n",
                     texts::UnreadableLog(m_backoff.Path(), ms(m_backoff.Wait()),
                                          ms(CReopenBackoff::kLongestWait) / 1000)
                         .c_str());
    }
    Enter(LinkState::Unreadable);
}

void CWendrelDlg::OnOpened(const std::u16string& path, int ok, hid::OpenError error)
{
    if (ok) {
        m_strRefusedPath.clear();
        m_nRefusals = 0;
        m_backoff.Opened(path, m_device.Instance(), m_pfnNow());
        // After readers that ended at once, the label holds until this one
        // lasts: it never names a board that cannot be read.
        Enter(m_backoff.Failing() ? LinkState::Unreadable : LinkState::Connected, path);
        // The report's size is known from now on: what was typed without
        // a board meets it here, not at the send.
        FitInputLine();
        return;
    }
    // Retried on the next tick; say why when it is the user's to fix.
    if (const std::optional<LinkState> problem = link_state::ProblemFor(error)) {
        if (NameRefusal(path, *problem))
            Enter(*problem);
    } else if (link_state::IsProblem(m_link)) {
        Enter(m_linkBeforeProblem);
    }
}

bool CWendrelDlg::NameRefusal(const std::u16string& path, LinkState problem)
{
    if (path != m_strRefusedPath || problem != m_refusedAs) {
        m_strRefusedPath = path;
        m_refusedAs = problem;
        m_nRefusals = 0;
    }
    if (++m_nRefusals == 2)
        std::fprintf(stderr, "%s\n", link_state::Log(problem, path, m_device.GetAccessFacts()).c_str());
    return m_nRefusals >= 2;
}

void CWendrelDlg::Enter(LinkState state, const std::u16string& path)
{
    // A problem on the label stands in for the state it interrupted, which
    // the dialog otherwise still is: that decides whether the timer sleeps.
    const LinkState from = link_state::IsProblem(m_link) ? m_linkBeforeProblem : m_link;
    const std::u16string shown = m_strStatus;
    SetLinkState(state, path);
    // A connection made or given up; not the timer's sleep, nor a refusal.
    if (link_state::IsOpen(state) != link_state::IsOpen(from))
        RecordEvent(std::u16string(link_state::IsOpen(state) ? texts::kEventConnected
                                                             : texts::kEventDisconnected));
    wsys::IWindow* wnd = Window();
    if (!wnd)
        return;
    // The timer sleeps in ConnectedIdle alone.
    if (state == LinkState::ConnectedIdle && from != LinkState::ConnectedIdle)
        wnd->KillTimer(res::IDT_POLL);
    else if (from == LinkState::ConnectedIdle && state != LinkState::ConnectedIdle)
        wnd->SetTimer(res::IDT_POLL, kPollMs);
    // The status label and its tip alone: the input line is the user's.
    // A note stands while the label's text would stay; a new one ends it
    // at once, so that the label never hides a change of the link.
    if (!m_strNote.empty()) {
        if (m_strStatus == shown)
            return;
        m_strNote.clear();
        wnd->KillTimer(res::IDT_NOTE);
        wnd->SetItemText(res::IDC_STATUS, m_strStatus);
    } else if (m_strStatus != shown) {
        wnd->SetItemText(res::IDC_STATUS, m_strStatus);
    }
    SetStatusTip(link_state::Tip(state, m_device.GetAccessFacts()));
}

void CWendrelDlg::SetLinkState(LinkState state, const std::u16string& path)
{
    m_link = state;
    if (!link_state::IsProblem(state))
        m_linkBeforeProblem = state;
    m_bConnected = link_state::ConnectedFlag(m_linkBeforeProblem);
    m_strStatus = link_state::Status(state, m_nVid, m_nPid);
    m_strDevicePath = link_state::IsOpen(state) ? path : std::u16string();
}

void CWendrelDlg::SetStatusTip(const std::u16string& tip)
{
    if (tip == m_strStatusTip)
        return;
    m_strStatusTip = tip;
    if (Window())
        Window()->SetItemToolTip(res::IDC_STATUS, tip);
}
