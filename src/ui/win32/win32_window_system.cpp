#include "win32_window_system.h"

#include <algorithm>

#include "win32_dialog_window.h"
#include "win32_dpi.h"

CWin32WindowSystem::CWin32WindowSystem() : m_hInstance(GetModuleHandleW(nullptr)) {}

CWin32WindowSystem::~CWin32WindowSystem()
{
    for (auto& [id, icon] : m_icons) {
        if (icon.bigIcon)
            DestroyIcon(icon.bigIcon);
        if (icon.smallIcon && icon.smallIcon != icon.bigIcon)
            DestroyIcon(icon.smallIcon);
    }
}

std::unique_ptr<wsys::IWindow> CWin32WindowSystem::CreateDialogWindow(int templateId,
                                                                      wsys::IDialogHandler& handler)
{
    const res::DialogTemplate* tmpl = res::FindDialogTemplate(templateId);
    if (!tmpl)
        return nullptr;
    return MakeWindow(*tmpl, handler);
}

std::unique_ptr<CWin32DialogWindow> CWin32WindowSystem::MakeWindow(const res::DialogTemplate& tmpl,
                                                                   wsys::IDialogHandler& handler)
{
    return std::make_unique<CWin32DialogWindow>(*this, tmpl, handler);
}

wsys::IconHandle CWin32WindowSystem::LoadIcon(int id)
{
    return IconAt(id, win32::SystemDpi());
}

const CWin32WindowSystem::Icon* CWin32WindowSystem::IconAt(int id, UINT dpi)
{
    if (auto it = m_icons.find({id, dpi}); it != m_icons.end())
        return &it->second;
    auto load = [&](int cx, int cy) {
        return static_cast<HICON>(LoadImageW(m_hInstance, MAKEINTRESOURCEW(id), IMAGE_ICON,
                                             win32::MetricForDpi(cx, dpi),
                                             win32::MetricForDpi(cy, dpi), LR_DEFAULTCOLOR));
    };
    Icon icon;
    icon.id = id;
    icon.bigIcon = load(SM_CXICON, SM_CYICON);
    if (!icon.bigIcon)
        return nullptr;
    icon.smallIcon = load(SM_CXSMICON, SM_CYSMICON);
    if (!icon.smallIcon)
        icon.smallIcon = icon.bigIcon;
    Icon& slot = m_icons[{id, dpi}];
    slot = icon;
    return &slot;
}

void CWin32WindowSystem::PopRunning(HWND hwnd)
{
    auto it = std::find(m_running.rbegin(), m_running.rend(), hwnd);
    if (it != m_running.rend())
        m_running.erase(std::next(it).base());
}

std::unique_ptr<wsys::IWindowSystem> wsys::CreatePlatformWindowSystem()
{
    return std::make_unique<CWin32WindowSystem>();
}
