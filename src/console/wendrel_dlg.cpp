#include "wendrel_dlg.h"

#include <cstdint>
#include <cstdio>

#include "about_dlg.h"
#include "codepage.h"
#include "icon_position.h"

namespace {

std::u16string Widen(const char* s)
{
    std::u16string out;
    while (*s)
        out += static_cast<char16_t>(static_cast<unsigned char>(*s++));
    return out;
}

}  // namespace

std::u16string PermissionDeniedTip()
{
#if defined(__linux__)
    return u"ボードは見つかりましたが、開く権限がありません。"
           u"udev 規則 70-wendrel.rules を /etc/udev/rules.d/ に入れてから"
           u"ボードを挿し直してください。";
#else
    return u"ボードは見つかりましたが、開く権限がありません。";
#endif
}

CWendrelDlg::CWendrelDlg(wsys::IWindowSystem& ws, std::shared_ptr<hid::Platform> platform)
    : CDialog(ws, res::IDD_WENDREL_DIALOG), m_device(std::move(platform))
{
    m_hIcon = ws.LoadIcon(res::IDR_MAINFRAME);
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
    wnd->SetCopyAllEntry(res::IDC_HISTORY, u"受信履歴をすべてコピー(&H)",
                         [this] { return m_history.StoredRows(); });
    wnd->SetTimer(res::IDT_POLL, kPollMs);
    // Lines that arrived while no window was there to show them.
    ShowHistory();
    return true;
}

void CWendrelDlg::OnCommand(int id)
{
    if (id == res::IDC_BOOT)
        OnBnClickedBoot();
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
    m_strDevicePath.clear();
    CDialog::OnDestroy();
}

void CWendrelDlg::OnTimer(int id)
{
    std::u16string path;
    if (m_device.FindDevices(m_nVid, m_nPid, path) != 0) {
        if (path != m_strDevicePath) {
            if (m_device.Open(path, this)) {
                char status[40];
                std::snprintf(status, sizeof status, "VID:0x%04X / PID:0x%04X",
                              static_cast<unsigned>(m_nVid), static_cast<unsigned>(m_nPid));
                m_strStatus = Widen(status);
                m_strDevicePath = path;
                SetStatusTip(u"");
                UpdateData(false);
                m_bConnected = 1;
            } else {
                // Retried on the next tick; say why when it is ours to fix.
                SetStatusTip(m_device.LastOpenError() == hid::OpenError::PermissionDenied
                                 ? PermissionDeniedTip()
                                 : u"");
            }
        }
    } else if (m_bConnected) {
        m_device.Close();
        m_strStatus = u"Non Connections";
        m_strDevicePath.clear();
        SetStatusTip(u"");
        UpdateData(false);
        m_bConnected = 0;
    } else {
        SetStatusTip(u"");
    }
    CDialog::OnTimer(id);
}

void CWendrelDlg::OnOK()
{
    UpdateData(true);
    m_device.SendText(m_strSend);
    m_strSend.clear();
    UpdateData(false);
}

void CWendrelDlg::OnBnClickedBoot() { m_device.SendText(u"Boot"); }

void CWendrelDlg::OnReceive(const std::u16string& text)
{
    if (m_display.Publish(m_history.AppendLine(text)))
        PostToWindow([this] { ShowHistory(); });
}

void CWendrelDlg::ShowHistory()
{
    std::u16string text;
    if (m_display.Take(text) && Window())
        Window()->SetItemText(res::IDC_HISTORY, text);
}

bool CWendrelDlg::FitsOutputReport(const std::u16string& text) const
{
    if (static_cast<int>(text.size()) > kMaxSendChars)
        return false;
    // What the board's code page cannot hold would never reach it.
    if (!hid::CanEncode(text))
        return false;
    const int capacity = m_device.OutLength();
    if (!m_device.IsOpen() || capacity <= 0)
        return true;
    // Room for the longest encoding of 63 units, so the count is never cut.
    std::uint8_t buf[kMaxSendChars * 4 + 1];
    const std::size_t bytes = hid::EncodeText(text, buf, sizeof buf);
    return static_cast<int>(bytes) + 1 <= capacity;
}

void CWendrelDlg::SetStatusTip(const std::u16string& tip)
{
    if (tip == m_strStatusTip)
        return;
    m_strStatusTip = tip;
    if (Window())
        Window()->SetItemToolTip(res::IDC_STATUS, tip);
}
