// The window system on the Windows dialog manager: dialogs from in-memory
// templates built from resources.h, icons from the program's resources.
#pragma once

#include "win32_api.h"

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "resources.h"
#include "window_system.h"

class CWin32DialogWindow;

class CWin32WindowSystem : public wsys::IWindowSystem {
public:
    CWin32WindowSystem();
    ~CWin32WindowSystem() override;

    std::unique_ptr<wsys::IWindow> CreateDialogWindow(int templateId,
                                                      wsys::IDialogHandler& handler) override;
    // Icon `id` from the program's resources at the system's big and small
    // icon sizes; nullptr when the program carries no such icon.
    wsys::IconHandle LoadIcon(int id) override;

    struct Icon {
        int id = 0;
        HICON bigIcon = nullptr;
        HICON smallIcon = nullptr;
    };
    static const Icon* ToIcon(wsys::IconHandle icon) { return static_cast<const Icon*>(icon); }
    // Icon `id` at the big and small icon sizes of a monitor of `dpi`;
    // loaded once, kept until the window system goes.
    const Icon* IconAt(int id, UINT dpi);

    HINSTANCE Instance() const { return m_hInstance; }

    // The dialog whose modal loop runs innermost: the owner of the next.
    HWND ActiveDialog() const { return m_running.empty() ? nullptr : m_running.back(); }
    void PushRunning(HWND hwnd) { m_running.push_back(hwnd); }
    void PopRunning(HWND hwnd);

protected:
    // Tests put a window of their own in here.
    virtual std::unique_ptr<CWin32DialogWindow> MakeWindow(const res::DialogTemplate& tmpl,
                                                           wsys::IDialogHandler& handler);

private:
    HINSTANCE m_hInstance;
    std::map<std::pair<int, UINT>, Icon> m_icons;  // by id and scale
    std::vector<HWND> m_running;
};
