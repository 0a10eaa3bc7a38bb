// The console: a 50 ms poll cycle that connects to the board when it
// appears and lets go when it vanishes, the input line and its two send
// buttons, and the history of received lines.
#pragma once

#include <memory>
#include <string>

#include "dialog.h"
#include "hid_device.h"
#include "history_feed.h"

class CWendrelDlg : public CDialog, public IHidReceiver {
public:
    static constexpr int kPollMs = 50;
    // While reports stream in, the history box is updated once a frame.
    static constexpr int kFrameMs = 16;
    static constexpr int kMaxSendChars = 63;

    explicit CWendrelDlg(wsys::IWindowSystem& ws,
                         std::shared_ptr<hid::Platform> platform = hid::SystemPlatform());
    ~CWendrelDlg() override;

    // IHidReceiver: on the connection's reader thread; never waits for the
    // user-interface thread.
    void OnReceive(const std::u16string& text) override;

    // The poll cycle and the buttons, as the window delivers them.
    void OnTimer(int id) override;
    void OnOK() override;
    void OnBnClickedBoot();
    // The window menu; 0x0010 opens the About box.
    void OnSysCommand(int id, long param) override;

    // The connection, for tools and tests.
    CHidDevice& Device() { return m_device; }

    // Whether the input line may hold `text`: every character must have a
    // form in the code page, and while connected, that form and its
    // terminator must fit one output report.
    bool FitsOutputReport(const std::u16string& text) const;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void OnPaint() override;
    wsys::IconHandle OnQueryDragIcon() override;
    void OnDestroy() override;

private:
    // User-interface thread: shows the rows that arrived.
    void ShowHistory();
    // False, and the request for an update ended, when nothing was new.
    bool ShowNewestHistory();
    // True when connected and this look found nothing new.
    bool Poll();
    void WatchChanges(bool pause);
    void OnDevicesChanged();
    void Disconnect();
    void OnOpened(const std::u16string& path, int ok, hid::OpenError error);
    // The board is there but cannot be opened (true), or no longer shown so.
    void ShowOpenProblem(bool noPermission);
    void SetStatusTip(const std::u16string& tip);

    wsys::IconHandle m_hIcon = nullptr;
    CHidDevice m_device;
    CHistoryFeed m_history;

public:
    std::u16string m_strStatus;
    std::u16string m_strSend;
    std::u16string m_strDevicePath;
    int m_nVid = 0x04D8;
    int m_nPid = 0x003F;
    unsigned char m_bConnected = 1;

private:
    std::u16string m_strStatusTip;
    // The status names a board that this user may not open.
    bool m_bNoPermission = false;
    // The board whose lack of permission went to standard error.
    std::u16string m_strPermissionReported;
    // The board refused once; named only if refused again.
    std::u16string m_strRefusedOnce;
    // Connected, with nothing to look for: the timer is stopped until the
    // device layer reports a change.
    bool m_bPollPaused = false;
};

// The status label's text, and its explanation with the fix, while the
// board is present but this user may not open it.
std::u16string PermissionDeniedStatus();
std::u16string PermissionDeniedTip();
