// Whether HID interfaces came or went, from the system's device interface
// notifications, so that the list is scanned only when one did.
//
// Two sources; the first that registers is used:
// - CM_Register_Notification (cfgmgr32, Windows 8 and later), which needs
//   no window. Looked up at run time: Wine 8's cfgmgr32 lacks it.
// - RegisterDeviceNotificationW on a message-only window, which a thread
//   of its own creates and serves, so that no dialog need know of it.
//   Wine delivers these (its plugplay service sends them).
// With neither, Active() is None and the platform scans on every look.
//
// Threads: Notify runs on the system's threads (a thread-pool thread, or
// the window's); Take on the user-interface thread or the worker, never
// blocking; Wait on the change watcher's thread; Stop on any thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

#include "wake.h"

namespace hid::win32 {

// The fact "something may have changed since the last Take", and a wake
// for whoever sleeps until it is true.
class CChangeFlag {
public:
    // True until the first Take: the first look always scans.
    CChangeFlag() = default;
    CChangeFlag(const CChangeFlag&) = delete;
    CChangeFlag& operator=(const CChangeFlag&) = delete;

    bool Valid() const { return m_changed.Valid() && m_stop.Valid(); }

    void Notify();
    // The fact, cleared: a Notify that comes after counts for the next.
    bool Take();
    // Sleeps until the fact is true (true; at once if it is already) or
    // Stop is called (false; at once if it was called since the last Wait
    // ended). One sleeper at a time.
    bool Wait();
    void Stop();

private:
    std::atomic<bool> m_bChanged{true};
    base::CWake m_changed;  // signalled by Notify, cleared by Wait
    base::CWake m_stop;     // signalled by Stop, cleared by Wait
};

class CDeviceNotifications {
public:
    enum class Source { None, ConfigManager, Window };

    // Registers for arrivals and removals of interfaces of the class
    // `guid`, and notifies `flag` of each. `first` may skip the config
    // manager, for tests of the window on a system that has both.
    CDeviceNotifications(const GUID& guid, CChangeFlag& flag,
                         Source first = Source::ConfigManager);
    ~CDeviceNotifications();
    CDeviceNotifications(const CDeviceNotifications&) = delete;
    CDeviceNotifications& operator=(const CDeviceNotifications&) = delete;

    Source Active() const { return m_source; }

    // The message-only window while it is the source (tests send it what
    // the system sends), else nullptr.
    HWND Window() const { return m_hWnd; }

    // What the config manager's callback does with an action, for tests:
    // arrivals and removals notify, other actions are ignored.
    void OnConfigManagerAction(unsigned long action);

private:
    bool RegisterConfigManager(const GUID& guid);
    bool StartWindow(const GUID& guid);
    void WindowThread(GUID guid, HANDLE ready);
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

    CChangeFlag& m_flag;
    Source m_source = Source::None;
    // The config manager's source: cfgmgr32, its unregistration, the handle.
    HMODULE m_hCfgMgr = nullptr;
    void* m_pfnUnregister = nullptr;
    void* m_hNotification = nullptr;
    // The window's source: its thread and the window, set before the
    // constructor returns and fixed until the destructor.
    std::thread m_windowThread;
    HWND m_hWnd = nullptr;
};

}  // namespace hid::win32
