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
// The registration is a call into the Plug and Play service, which can be
// busy for a long time: it runs on a thread of its own, never on the
// thread that makes the platform (the user-interface thread).
//
// Threads: Notify runs on the system's threads (a thread-pool thread, or
// the window's); Take on the user-interface thread or the worker, never
// blocking; Wait on the change watcher's thread; Stop on any thread.
// CDeviceNotifications is made and destroyed on one thread, which waits
// for nothing when making it and at most kStopWaitMs when destroying it;
// Active, Current and Window never block.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
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

    // Where the platform stands with the notifications.
    enum class Mode {
        // Not registered yet, for less than the grace: every look scans.
        Registering,
        // Registered: a look scans only after a notification.
        Notified,
        // No answer within the grace (the Plug and Play service may be
        // busy for minutes while drivers install): the console's own
        // once-a-second scan while no board is open is all there is, until
        // the registration answers after all.
        Late,
        // Registration failed: every look scans.
        Unavailable,
    };

    // The config manager as the registration reaches it; tests stand in
    // for it. `reg` registers for arrivals and removals of interfaces of
    // `guid`, each event to reach Deliver(context, action) on any thread;
    // it returns the registration, or nullptr. `unreg` ends one and waits
    // for an event being delivered. Null members: no config manager.
    struct ConfigManagerCalls {
        void* (*reg)(const GUID& guid, void* context) = nullptr;
        void (*unreg)(void* registration) = nullptr;
    };
    // cfgmgr32's, looked up at run time; null members where it lacks them.
    static ConfigManagerCalls SystemConfigManager();
    static void Deliver(void* context, unsigned long action);

    // How long Registering lasts at most.
    static constexpr DWORD kGraceMs = 2000;
    // How long the destructor waits for the registration's thread to end.
    static constexpr DWORD kStopWaitMs = 500;

    // Starts registering, on a thread of its own, for arrivals and removals
    // of interfaces of the class `guid`, each to notify `flag`; returns at
    // once. `first` may skip the config manager, for tests of the window
    // on a system that has both.
    CDeviceNotifications(const GUID& guid, CChangeFlag& flag,
                         Source first = Source::ConfigManager,
                         ConfigManagerCalls calls = SystemConfigManager(),
                         DWORD graceMs = kGraceMs);
    // Ends the registration, waiting at most kStopWaitMs for its thread:
    // one stuck in the system is left to end by itself, and never touches
    // the flag again.
    ~CDeviceNotifications();
    CDeviceNotifications(const CDeviceNotifications&) = delete;
    CDeviceNotifications& operator=(const CDeviceNotifications&) = delete;

    // The source registered so far (None while registering, and when none
    // could be).
    Source Active() const;
    Mode Current() const;

    // Waits at most timeoutMs for the registration's answer; true once
    // answered. Tests and tools.
    bool WaitAnswered(DWORD timeoutMs) const;

    // The message-only window while it is the source (tests send it what
    // the system sends), else nullptr.
    HWND Window() const;

    // Any thread: the state the registration's thread shares, which it
    // keeps alive as long as it runs.
    struct State;

private:
    std::shared_ptr<State> m_pState;
    std::thread m_thread;
    DWORD m_nStart = 0;
    DWORD m_nGraceMs = kGraceMs;
};

}  // namespace hid::win32
