// The console: a 50 ms poll cycle that connects to the board when it
// appears and lets go when it vanishes, the input line and its two send
// buttons, and the history of received lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "command_recall.h"
#include "console_texts.h"
#include "dialog.h"
#include "hid_device.h"
#include "history_feed.h"
#include "link_state.h"
#include "reopen_backoff.h"

class CWendrelDlg : public CDialog, public IHidReceiver {
public:
    static constexpr int kPollMs = 50;
    // While reports stream in, the history box is updated once a frame.
    static constexpr int kFrameMs = 16;
    static constexpr int kMaxSendChars = 63;
    // How long a note (a send that did not happen, a line cut to fit)
    // stands on the status label before the link state comes back.
    static constexpr int kNoteMs = 4000;
    // While not connected, a scan this many ticks apart (a second) whatever
    // the platform says of changes: its watch may never speak.
    static constexpr int kRescanTicks = 1000 / kPollMs;
    using Clock = CReopenBackoff::Clock;

    explicit CWendrelDlg(wsys::IWindowSystem& ws,
                         std::shared_ptr<hid::Platform> platform = hid::SystemPlatform());
    ~CWendrelDlg() override;

    // IHidReceiver: on the connection's reader thread, right after the
    // read; never waits for the user-interface thread. The row's time is
    // taken here.
    void OnReceive(const std::u16string& text, std::span<const std::uint8_t> bytes) override;

    // The poll cycle and the buttons, as the window delivers them.
    void OnTimer(int id) override;
    void OnOK() override;
    void OnBnClickedBoot();
    // The history box's context menu.
    void OnShowTimes();
    void OnShowBytes();
    void OnShowEvents();
    void OnClearHistory();
    // The menu's save entry and Ctrl+S: every stored row as shown, into a
    // file the user chooses.
    void OnSaveHistory();
    // The window menu; 0x0010 opens the About box.
    void OnSysCommand(int id, long param) override;

    // The connection, for tools and tests.
    CHidDevice& Device() { return m_device; }

    // Tests: where the poll cycle reads the time (the steady clock unless set).
    void SetClock(std::function<Clock::time_point()> now) { m_pfnNow = std::move(now); }

    // Whether the input line may hold `text`: every character must have a
    // form in the code page, and while connected, that form and its
    // terminator must fit one output report.
    bool FitsOutputReport(const std::u16string& text) const;
    // The longest start of `text`, cut at a whole character, that the
    // input line may hold.
    std::u16string FitToOutputReport(const std::u16string& text) const;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void OnPaint() override;
    wsys::IconHandle OnQueryDragIcon() override;
    void OnDestroy() override;
    // The time a report arrives at, base::WallClockMs's scale; on the
    // reader thread.
    virtual std::int64_t ArrivalTimeMs() const;

private:
    // User-interface thread: shows the rows that arrived.
    void ShowHistory();
    // False, and the request for an update ended, when nothing was new.
    bool ShowNewestHistory();
    // Poll, and (`tick`) WatchChanges, showing a thread that cannot be made.
    void Look(bool tick);
    // True when connected and this look found nothing new.
    bool Poll();
    void WatchChanges(bool pause);
    void OnDevicesChanged();
    void Disconnect();
    // The reader of the open connection has ended.
    void LoseReader();
    void OnOpened(const std::u16string& path, int ok, hid::OpenError error);
    // Whether a refusal to open the board at `path`, named by `problem`,
    // is to be shown: not the first of its kind in a row (a node is looked
    // at as soon as it appears, which can be before the system lets this
    // user open it, and another program may hold it for a moment). Logs the
    // second.
    bool NameRefusal(const std::u16string& path, LinkState problem);
    // Moves to `state` and shows what changed: the poll timer (asleep in
    // ConnectedIdle alone), the status label and its tooltip; never the
    // input line, which is the user's. `path`: the board's, when open.
    void Enter(LinkState state, const std::u16string& path = {});
    // The one place the state is set: m_bConnected, m_strStatus and
    // m_strDevicePath follow from it here. Shows nothing.
    void SetLinkState(LinkState state, const std::u16string& path);
    void SetStatusTip(const std::u16string& tip);
    // Notes in the transcript that `line`, whose send began `at`, went to
    // the board (or is on its way), or not.
    void RecordSend(const std::u16string& line, bool sent, const CHistoryFeed::Place& at);
    // Notes `text` among the rows, at `at` (now), and shows it where events
    // are shown.
    void RecordEvent(const std::u16string& text, const CHistoryFeed::Place& at);
    void RecordEvent(const std::u16string& text);
    // Gives the history box `changes` and checks `command`'s entry or not.
    void ShowView(const std::vector<wsys::RowChange>& changes, int command, bool on);

    // Where a send came from: the input line's text or the Boot button.
    enum class SendSource { InputLine, Boot };
    // Every outcome of a send passes here: at once, and again when one
    // that was Pending is written or fails. A failure is told (a beep, a
    // note on the status label, which screen readers see, and a line on
    // standard error); a line that had left the input line comes back
    // into it while the user has typed nothing since.
    // `at`: where the send began, given with the outcome known at once;
    // the transcript notes the line there.
    void NoteSendResult(const std::u16string& line, hid::SendResult result, SendSource source,
                        const std::optional<CHistoryFeed::Place>& at = std::nullopt);
    // Shows `text` on the status label for kNoteMs, `tip` as its tooltip.
    void ShowNote(const std::u16string& text, const std::u16string& tip);
    // The link state back on the label.
    void EndNote();
    // Cuts the input line to what the open board's report holds; says so.
    void FitInputLine();
    // A recalled line, cut to fit as a paste is.
    std::optional<std::u16string> Recall(bool older, const std::u16string& current);

    wsys::IconHandle m_hIcon = nullptr;
    CHidDevice m_device;
    CHistoryFeed m_history;
    CReopenBackoff m_backoff;
    std::function<Clock::time_point()> m_pfnNow = [] { return Clock::now(); };
    int m_nTicksSinceRescan = 0;
    CCommandRecall m_recall;

public:
    // m_strStatus, m_strDevicePath and m_bConnected follow m_link: set by
    // SetLinkState alone.
    std::u16string m_strStatus;
    std::u16string m_strSend;
    std::u16string m_strDevicePath;
    int m_nVid = 0x04D8;
    int m_nPid = 0x003F;
    unsigned char m_bConnected = link_state::ConnectedFlag(LinkState::Starting);

private:
    LinkState m_link = LinkState::Starting;
    // The state a problem shown on the label interrupted (Starting or
    // Disconnected), and returns to when it ends.
    LinkState m_linkBeforeProblem = LinkState::Starting;
    std::u16string m_strStatusTip;
    // Why the last look could not make a thread ("" once one could).
    std::string m_strThreadError;
    // The note on the status label; "" when it shows the link state.
    std::u16string m_strNote;
    // Refusals in a row of the board at one path, for one reason.
    std::u16string m_strRefusedPath;
    LinkState m_refusedAs = LinkState::NotPermitted;
    int m_nRefusals = 0;
    bool m_bSaving = false;  // the save dialog is open
};
