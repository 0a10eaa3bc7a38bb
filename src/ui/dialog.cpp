#include "dialog.h"

void DDX_Text(CDataExchange* pDX, int id, std::u16string& value)
{
    pDX->m_idLastControl = id;
    if (pDX->m_bSaveAndValidate)
        value = pDX->m_wnd.GetItemText(id);
    else
        pDX->m_wnd.SetItemText(id, value);
}

void DDV_MaxChars(CDataExchange* pDX, const std::u16string& value, int maxChars)
{
    if (pDX->m_bSaveAndValidate) {
        if (static_cast<int>(value.size()) > maxChars)
            pDX->m_bFailed = true;
    } else {
        pDX->m_wnd.LimitText(pDX->m_idLastControl, maxChars);
    }
}

CDialog::CDialog(wsys::IWindowSystem& ws, int templateId) : m_ws(ws), m_nTemplate(templateId) {}

CDialog::~CDialog() = default;

int CDialog::DoModal()
{
    std::unique_ptr<wsys::IWindow> wnd = m_ws.CreateDialogWindow(m_nTemplate, *this);
    if (!wnd)
        return -1;
    {
        std::lock_guard<std::mutex> lock(m_wndLock);
        m_pWnd = wnd.get();
    }
    const int result = wnd->RunModal();
    {
        std::lock_guard<std::mutex> lock(m_wndLock);
        m_pWnd = nullptr;
    }
    return result;
}

void CDialog::EndDialog(int result)
{
    if (m_pWnd)
        m_pWnd->EndDialog(result);
}

bool CDialog::UpdateData(bool bSaveAndValidate)
{
    if (!m_pWnd)
        return false;
    CDataExchange dx(*m_pWnd, bSaveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK()
{
    if (!UpdateData(true))
        return;
    EndDialog(res::IDOK);
}

void CDialog::OnCancel() { EndDialog(res::IDCANCEL); }

bool CDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void CDialog::OnCommand(int id)
{
    if (id == res::IDOK)
        OnOK();
    else if (id == res::IDCANCEL)
        OnCancel();
}

void CDialog::OnTimer(int) {}

void CDialog::OnSysCommand(int, long) {}

void CDialog::OnPaint() {}

wsys::IconHandle CDialog::OnQueryDragIcon() { return nullptr; }

void CDialog::OnDestroy() {}

void CDialog::PostToWindow(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(m_wndLock);
    if (m_pWnd)
        m_pWnd->Post(std::move(fn));
}
