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

#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

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
using Source = CDeviceNotifications::Source;

constexpr wchar_t kWindowClass[] = L"WendrelHidChanges";

// On a thread-pool thread; the registration's context is the shared state.
DWORD CALLBACK OnConfigManagerEvent(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action,
                                    PCM_NOTIFY_EVENT_DATA, DWORD)
{
    CDeviceNotifications::Deliver(context, action);
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

// cfgmgr32 stays loaded for the process: an abandoned registration may
// still be inside it.
struct ConfigManagerEntries {
    RegisterFn reg = nullptr;
    UnregisterFn unreg = nullptr;
};

const ConfigManagerEntries& Entries()
{
    static const ConfigManagerEntries entries = [] {
        ConfigManagerEntries e;
        if (HMODULE module = LoadSystemLibrary(L"cfgmgr32.dll")) {
            e.reg = Lookup<RegisterFn>(module, "CM_Register_Notification");
            e.unreg = Lookup<UnregisterFn>(module, "CM_Unregister_Notification");
        }
        return e;
    }();
    return entries;
}

void* SystemRegister(const GUID& guid, void* context)
{
    CM_NOTIFY_FILTER filter{};
    filter.cbSize = sizeof filter;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    filter.u.DeviceInterface.ClassGuid = guid;
    HCMNOTIFICATION handle = nullptr;
    if (Entries().reg(&filter, context, OnConfigManagerEvent, &handle) != CR_SUCCESS) return nullptr;
    return handle;
}

void SystemUnregister(void* registration)
{
    Entries().unreg(static_cast<HCMNOTIFICATION>(registration));
}

}  // namespace

// What the registration's thread shares with the owner. The thread keeps
// it alive, so an owner that stopped waiting for the thread leaves it
// nothing freed to touch.
struct CDeviceNotifications::State {
    GUID guid{};
    Source first = Source::None;
    ConfigManagerCalls calls;
    // Manual-reset events: the owner wants the thread to end; the
    // registration answered; the thread is about to end.
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE answered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<Source> source{Source::None};  // set before `answered`
    std::atomic<HWND> hWnd{nullptr};
    std::mutex mutex;
    CChangeFlag* flag = nullptr;  // guarded by `mutex`; null once the owner has gone

    ~State()
    {
        for (HANDLE h : {stop, answered, ended})
            if (h) CloseHandle(h);
    }
    bool Valid() const { return stop && answered && ended; }

    void Notify()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (flag) flag->Notify();
    }

    // Events before the answer went unheard: the next look scans. The
    // flag goes up before the answer, so whoever saw the answer finds it.
    void Answer(Source s)
    {
        source = s;
        if (s != Source::None) Notify();
        SetEvent(answered);
    }

    static void Run(std::shared_ptr<State> state);
    bool ServeConfigManager();
    bool ServeWindow();
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

CDeviceNotifications::ConfigManagerCalls CDeviceNotifications::SystemConfigManager()
{
    if (!Entries().reg || !Entries().unreg) return {};
    return {SystemRegister, SystemUnregister};
}

void CDeviceNotifications::Deliver(void* context, unsigned long action)
{
    if (context && (action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL ||
                    action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL))
        static_cast<State*>(context)->Notify();
}

CDeviceNotifications::CDeviceNotifications(const GUID& guid, CChangeFlag& flag, Source first,
                                           ConfigManagerCalls calls, DWORD graceMs)
    : m_pState(std::make_shared<State>()), m_nStart(GetTickCount()), m_nGraceMs(graceMs)
{
    State& s = *m_pState;
    s.guid = guid;
    s.first = first;
    s.calls = calls;
    s.flag = &flag;
    if (!flag.Valid() || !s.Valid() || first == Source::None) {
        s.Answer(Source::None);
        return;
    }
    try {
        m_thread = std::thread(&State::Run, m_pState);
    } catch (const std::system_error&) {
        s.Answer(Source::None);
    }
}

CDeviceNotifications::~CDeviceNotifications()
{
    {
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        m_pState->flag = nullptr;
    }
    if (!m_thread.joinable()) return;
    SetEvent(m_pState->stop);
    if (WaitForSingleObject(m_pState->ended, kStopWaitMs) == WAIT_OBJECT_0)
        m_thread.join();
    else
        m_thread.detach();  // stuck in the system: it ends when that returns
}

CDeviceNotifications::Source CDeviceNotifications::Active() const
{
    return m_pState->source;
}

CDeviceNotifications::Mode CDeviceNotifications::Current() const
{
    if (WaitForSingleObject(m_pState->answered, 0) != WAIT_OBJECT_0)
        return GetTickCount() - m_nStart < m_nGraceMs ? Mode::Registering : Mode::Late;
    return m_pState->source != Source::None ? Mode::Notified : Mode::Unavailable;
}

bool CDeviceNotifications::WaitAnswered(DWORD timeoutMs) const
{
    return WaitForSingleObject(m_pState->answered, timeoutMs) == WAIT_OBJECT_0;
}

HWND CDeviceNotifications::Window() const
{
    return m_pState->hWnd;
}

// The registration's thread: registers, serves the source until the owner
// stops it, and unregisters. A registration that answers after the owner
// has gone is undone at once.
void CDeviceNotifications::State::Run(std::shared_ptr<State> state)
{
    State& s = *state;
    const bool served = (s.first == Source::ConfigManager && s.ServeConfigManager()) ||
                        s.ServeWindow();
    if (!served) s.Answer(Source::None);
    SetEvent(s.ended);
}

bool CDeviceNotifications::State::ServeConfigManager()
{
    if (!calls.reg || !calls.unreg) return false;
    void* registration = calls.reg(guid, this);
    if (!registration) return false;
    Answer(Source::ConfigManager);
    WaitForSingleObject(stop, INFINITE);
    calls.unreg(registration);
    return true;
}

// Stops at the owner's event, not at a message: a message may not arrive.
bool CDeviceNotifications::State::ServeWindow()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    // A second platform finds the class there already.
    RegisterClassExW(&wc);
    HWND hWindow = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   instance, this);
    if (!hWindow) return false;
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = guid;
    HDEVNOTIFY notify = RegisterDeviceNotificationW(hWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!notify) {
        DestroyWindow(hWindow);
        return false;
    }
    hWnd = hWindow;
    Answer(Source::Window);
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT);
        if (r != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    hWnd = nullptr;
    UnregisterDeviceNotification(notify);
    DestroyWindow(hWindow);
    return true;
}

LRESULT CALLBACK CDeviceNotifications::State::WindowProc(HWND hWnd, UINT msg, WPARAM wParam,
                                                         LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (msg == WM_DEVICECHANGE &&
               (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        auto* self = reinterpret_cast<State*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self && header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
            self->Notify();
        return TRUE;
    }
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

}  // namespace hid::win32
