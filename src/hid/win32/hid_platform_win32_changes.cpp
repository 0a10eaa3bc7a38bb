// The config manager's notification types come with Windows 8. Its
// functions are looked up at run time, so the program still starts where
// they are missing: only this file names that version.
#undef WINVER
#undef _WIN32_WINNT
#define WINVER 0x0602
#define _WIN32_WINNT 0x0602
#include <windows.h>

#include <cfgmgr32.h>
#include <dbt.h>

#include <string>
#include <system_error>

#include "hid_platform_win32_changes.h"

namespace hid::win32 {

void CChangeFlag::Notify()
{
    m_bChanged = true;
    m_changed.Signal();
}

bool CChangeFlag::Take()
{
    return m_bChanged.exchange(false);
}

void CChangeFlag::Stop()
{
    m_stop.Signal();
}

bool CChangeFlag::Wait()
{
    if (!Valid()) return false;
    HANDLE waits[2] = {reinterpret_cast<HANDLE>(m_stop.Native()),
                       reinterpret_cast<HANDLE>(m_changed.Native())};
    for (;;) {
        if (m_stop.Clear()) return false;
        if (m_bChanged) return true;
        // A Notify since the look above has signalled the wake.
        const DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0 + 1)
            m_changed.Clear();
        else if (r != WAIT_OBJECT_0)
            return false;
    }
}

namespace {

using RegisterFn = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK,
                                      PHCMNOTIFICATION);
using UnregisterFn = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

constexpr wchar_t kWindowClass[] = L"WendrelHidChanges";
constexpr UINT kStopMessage = WM_APP + 1;

// On a thread-pool thread; the registration's context is the source.
DWORD CALLBACK OnConfigManagerEvent(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action,
                                    PCM_NOTIFY_EVENT_DATA, DWORD)
{
    static_cast<CDeviceNotifications*>(context)->OnConfigManagerAction(action);
    return ERROR_SUCCESS;
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH - 20) return nullptr;
    std::wstring path(dir, n);
    path += L'\\';
    path += name;
    return LoadLibraryW(path.c_str());
}

template <typename Fn>
Fn Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

CDeviceNotifications::CDeviceNotifications(const GUID& guid, CChangeFlag& flag, Source first)
    : m_flag(flag)
{
    if (!m_flag.Valid()) return;
    if (first == Source::ConfigManager && RegisterConfigManager(guid))
        m_source = Source::ConfigManager;
    else if (first != Source::None && StartWindow(guid))
        m_source = Source::Window;
}

CDeviceNotifications::~CDeviceNotifications()
{
    // Waits for a callback in progress; never called from one.
    if (m_hNotification) reinterpret_cast<UnregisterFn>(m_pfnUnregister)(
        static_cast<HCMNOTIFICATION>(m_hNotification));
    if (m_hCfgMgr) FreeLibrary(m_hCfgMgr);
    if (m_windowThread.joinable()) {
        PostMessageW(m_hWnd, kStopMessage, 0, 0);
        m_windowThread.join();
    }
}

void CDeviceNotifications::OnConfigManagerAction(unsigned long action)
{
    if (action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL ||
        action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL)
        m_flag.Notify();
}

bool CDeviceNotifications::RegisterConfigManager(const GUID& guid)
{
    HMODULE module = LoadSystemLibrary(L"cfgmgr32.dll");
    if (!module) return false;
    const auto reg = Lookup<RegisterFn>(module, "CM_Register_Notification");
    const auto unreg = Lookup<UnregisterFn>(module, "CM_Unregister_Notification");
    CM_NOTIFY_FILTER filter{};
    filter.cbSize = sizeof filter;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    filter.u.DeviceInterface.ClassGuid = guid;
    HCMNOTIFICATION handle = nullptr;
    if (!reg || !unreg || reg(&filter, this, OnConfigManagerEvent, &handle) != CR_SUCCESS ||
        !handle) {
        FreeLibrary(module);
        return false;
    }
    m_hCfgMgr = module;
    m_pfnUnregister = reinterpret_cast<void*>(unreg);
    m_hNotification = handle;
    return true;
}

bool CDeviceNotifications::StartWindow(const GUID& guid)
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ready) return false;
    try {
        m_windowThread = std::thread(&CDeviceNotifications::WindowThread, this, guid, ready);
    } catch (const std::system_error&) {
        CloseHandle(ready);
        return false;
    }
    // The thread sets m_hWnd, registered or not, before it signals.
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    if (!m_hWnd) {
        m_windowThread.join();
        return false;
    }
    return true;
}

// Creates the window, registers it, signals `ready` and serves the window
// until the destructor's stop message. Leaves m_hWnd null and ends at once
// when either step fails.
void CDeviceNotifications::WindowThread(GUID guid, HANDLE ready)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    // A second platform finds the class there already.
    RegisterClassExW(&wc);
    HWND hWnd = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                instance, this);
    HDEVNOTIFY notify = nullptr;
    if (hWnd) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = guid;
        notify = RegisterDeviceNotificationW(hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (!notify) {
            DestroyWindow(hWnd);
            hWnd = nullptr;
        }
    }
    m_hWnd = hWnd;
    SetEvent(ready);
    if (!hWnd) return;

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == hWnd && msg.message == kStopMessage) break;
        DispatchMessageW(&msg);
    }
    UnregisterDeviceNotification(notify);
    DestroyWindow(hWnd);
}

LRESULT CALLBACK CDeviceNotifications::WindowProc(HWND hWnd, UINT msg, WPARAM wParam,
                                                  LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (msg == WM_DEVICECHANGE &&
               (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        auto* self =
            reinterpret_cast<CDeviceNotifications*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self && header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
            self->m_flag.Notify();
        return TRUE;
    }
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

}  // namespace hid::win32
