// The window's save dialog, error box and command keys on the Windows
// dialog manager.
#include <shlobj.h>

#include <vector>

#include "win32_dialog_window.h"
#include "win32_message_filter.h"
#include "win32_text.h"

namespace {

bool Held(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

// The user's documents folder; "" where the system has none.
std::u16string DocumentsFolder()
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return reinterpret_cast<const char16_t*>(path);
}

}  // namespace

void CWin32DialogWindow::AddCommandKey(char16_t letter, int command)
{
    if (letter < u'A' || letter > u'Z')
        return;
    m_commandKeys[letter] = command;
    if (m_pKeyFilter)
        return;
    // The dialog manager's loop knows no accelerators: the keys are looked
    // at before any control of the dialog gets them.
    m_pKeyFilter = std::make_unique<CWin32MessageFilter>([this](MSG& msg) {
        if (msg.message != WM_KEYDOWN || !m_hwnd || GetAncestor(msg.hwnd, GA_ROOT) != m_hwnd ||
            !IsWindowEnabled(m_hwnd) || !Held(VK_CONTROL) || Held(VK_SHIFT) || Held(VK_MENU))
            return false;
        const auto key = m_commandKeys.find(static_cast<char16_t>(msg.wParam));
        if (key == m_commandKeys.end())
            return false;
        m_handler.OnCommand(key->second);
        return true;
    });
}

std::optional<std::u16string> CWin32DialogWindow::AskSavePath(const wsys::SaveRequest& request)
{
    // The filter: label and pattern, each ended by a zero, then one more.
    std::u16string filter = request.filterLabel;
    filter += u'\0';
    filter += request.pattern;
    filter += u'\0';
    // The dialog opens on the folder the suggested path names.
    std::u16string initial = DocumentsFolder();
    if (!initial.empty() && initial.back() != u'\\')
        initial += u'\\';
    initial += request.fileName;
    std::vector<wchar_t> file(32768, L'\0');
    if (initial.size() >= file.size())
        initial = request.fileName;
    std::copy(initial.begin(), initial.end(), file.begin());

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hwnd;
    ofn.lpstrFilter = W(filter);
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = W(request.title);
    ofn.lpstrDefExt = W(request.extension);
    ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                OFN_NOCHANGEDIR;
    if (!RunSaveDialog(ofn) || !file[0])
        return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(file.data()));
}

void CWin32DialogWindow::ShowError(const std::u16string& text)
{
    RunMessageBox(text, m_hwnd ? WindowText(m_hwnd) : std::u16string(m_tmpl.title),
                  MB_OK | MB_ICONERROR);
}

BOOL CWin32DialogWindow::RunSaveDialog(OPENFILENAMEW& ofn) { return GetSaveFileNameW(&ofn); }

int CWin32DialogWindow::RunMessageBox(const std::u16string& text, const std::u16string& caption,
                                      UINT type)
{
    return MessageBoxW(m_hwnd, W(text), W(caption), type);
}
