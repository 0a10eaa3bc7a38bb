// The Windows platform's watch for device changes: the flag that says
// whether to scan, the notifications that raise it (the message-only
// window's, as Wine offers them, and the config manager's), and the
// console's watch answering one, through CHidDevice on the real platform.
#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

#include "hid_device.h"
#include "hid_platform.h"
#include "hid_platform_win32_changes.h"

namespace {

using hid::win32::CChangeFlag;
using hid::win32::CDeviceNotifications;
using Source = CDeviceNotifications::Source;

// HID's device interface class.
const GUID kHidGuid = {0x4d1e55b2, 0xf16f, 0x11cf,
                       {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// Runs `f` on a thread of its own; false when it has not returned within
// the bound (a hang).
template <typename F>
bool Returns(F f, int boundMs = 10000)
{
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread t([&] {
        f();
        SetEvent(done);
    });
    const bool ok = WaitForSingleObject(done, boundMs) == WAIT_OBJECT_0;
    if (ok)
        t.join();
    else
        t.detach();
    CloseHandle(done);
    return ok;
}

TEST(Win32ChangeFlag, TheFirstLookScansThenOnlyANotification)
{
    CChangeFlag flag;
    ASSERT_TRUE(flag.Valid());
    EXPECT_TRUE(flag.Take());
    EXPECT_FALSE(flag.Take());
    flag.Notify();
    flag.Notify();  // two before a look count as one
    EXPECT_TRUE(flag.Take());
    EXPECT_FALSE(flag.Take());
}

TEST(Win32ChangeFlag, WaitEndsAtANotificationOrAStop)
{
    CChangeFlag flag;
    // Not yet taken: answers at once.
    EXPECT_TRUE(Returns([&] { EXPECT_TRUE(flag.Wait()); }));
    flag.Take();

    bool woke = false;
    std::thread notifier([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        flag.Notify();
    });
    EXPECT_TRUE(Returns([&] { woke = flag.Wait(); }));
    notifier.join();
    EXPECT_TRUE(woke);
    EXPECT_TRUE(flag.Take());

    // A notification taken before the sleeper looked does not wake it.
    flag.Notify();
    flag.Take();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        flag.Stop();
    });
    EXPECT_TRUE(Returns([&] { woke = flag.Wait(); }));
    stopper.join();
    EXPECT_FALSE(woke);

    // A stop given while nobody sleeps ends the next sleep, and that one
    // alone.
    flag.Stop();
    EXPECT_TRUE(Returns([&] { EXPECT_FALSE(flag.Wait()); }));
    flag.Notify();
    EXPECT_TRUE(Returns([&] { EXPECT_TRUE(flag.Wait()); }));
}

// What the system sends the window: only an interface that came or went
// raises the flag.
TEST(Win32DeviceNotifications, TheWindowRaisesTheFlagForInterfacesThatComeOrGo)
{
    CChangeFlag flag;
    CDeviceNotifications notifications(kHidGuid, flag, Source::Window);
    ASSERT_TRUE(notifications.WaitAnswered(10000));
    if (notifications.Active() != Source::Window)
        GTEST_SKIP() << "no device notifications for a window here";
    ASSERT_NE(notifications.Window(), nullptr);
    flag.Take();

    DEV_BROADCAST_DEVICEINTERFACE_W iface{};
    iface.dbcc_size = sizeof iface;
    iface.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    iface.dbcc_classguid = kHidGuid;
    DEV_BROADCAST_HDR volume{};
    volume.dbch_size = sizeof volume;
    volume.dbch_devicetype = DBT_DEVTYP_VOLUME;
    const struct {
        const char* name;
        WPARAM event;
        const void* data;
        bool raises;
    } cases[] = {
        {"Arrival", DBT_DEVICEARRIVAL, &iface, true},
        {"RemoveComplete", DBT_DEVICEREMOVECOMPLETE, &iface, true},
        {"QueryRemove", DBT_DEVICEQUERYREMOVE, &iface, false},
        {"NodesChanged", DBT_DEVNODES_CHANGED, nullptr, false},
        {"AVolume", DBT_DEVICEARRIVAL, &volume, false},
    };
    for (const auto& c : cases) {
        DWORD_PTR result = 0;
        // Sent, so that the window thread has handled it on return.
        ASSERT_TRUE(SendMessageTimeoutW(notifications.Window(), WM_DEVICECHANGE, c.event,
                                        reinterpret_cast<LPARAM>(c.data), SMTO_NORMAL, 10000,
                                        &result))
            << c.name;
        EXPECT_EQ(flag.Take(), c.raises) << c.name;
    }
}

// A config manager of the test's: its registration answers when the test
// lets it (never, in a test of a hang), and counts its unregistrations.
struct FakeConfigManager {
    static inline HANDLE release = nullptr;  // set: registrations answer
    static inline std::atomic<void*> context{nullptr};
    static inline std::atomic<int> unregistered{0};
    static inline int token = 0;

    static void Reset()
    {
        if (!release) release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ResetEvent(release);
        context = nullptr;
        unregistered = 0;
    }
    static void* Register(const GUID&, void* ctx)
    {
        WaitForSingleObject(release, INFINITE);
        context = ctx;
        return &token;
    }
    static void Unregister(void* registration)
    {
        if (registration == &token) ++unregistered;
    }
    static CDeviceNotifications::ConfigManagerCalls Calls() { return {Register, Unregister}; }
};

bool WaitFor(const std::function<bool()>& done, int boundMs = 10000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

double MsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

TEST(Win32DeviceNotifications, TheConfigManagerRaisesTheFlagForInterfacesThatComeOrGo)
{
    FakeConfigManager::Reset();
    SetEvent(FakeConfigManager::release);
    {
        CChangeFlag flag;
        CDeviceNotifications notifications(kHidGuid, flag, Source::ConfigManager,
                                           FakeConfigManager::Calls());
        ASSERT_TRUE(notifications.WaitAnswered(10000));
        EXPECT_EQ(notifications.Active(), Source::ConfigManager);
        EXPECT_EQ(notifications.Current(), CDeviceNotifications::Mode::Notified);
        EXPECT_TRUE(flag.Take());  // what came before the answer went unheard
        // CM_NOTIFY_ACTION: interface arrival 0, removal 1, then device events.
        for (unsigned long action = 0; action < 10; ++action) {
            CDeviceNotifications::Deliver(FakeConfigManager::context, action);
            EXPECT_EQ(flag.Take(), action <= 1) << "action " << action;
        }
    }
    EXPECT_EQ(FakeConfigManager::unregistered, 1);
}

// The Plug and Play service busy for good: making the notifications and
// destroying them each return within a bound, every look scans for the
// grace and then no more, and the registration, when it answers after the
// owner has gone, is undone without touching what the owner had.
TEST(Win32DeviceNotifications, ARegistrationThatNeverReturnsHoldsNobodyUp)
{
    using Mode = CDeviceNotifications::Mode;
    FakeConfigManager::Reset();
    constexpr DWORD kGraceMs = 300;
    auto flag = std::make_unique<CChangeFlag>();
    auto t = std::chrono::steady_clock::now();
    auto n = std::make_unique<CDeviceNotifications>(kHidGuid, *flag, Source::ConfigManager,
                                                    FakeConfigManager::Calls(), kGraceMs);
    const double madeMs = MsSince(t);
    EXPECT_EQ(n->Current(), Mode::Registering);
    EXPECT_EQ(n->Active(), Source::None);
    EXPECT_TRUE(WaitFor([&] { return n->Current() == Mode::Late; }));
    EXPECT_FALSE(n->WaitAnswered(0));
    t = std::chrono::steady_clock::now();
    EXPECT_TRUE(Returns([&] { n.reset(); }));
    const double destroyedMs = MsSince(t);
    std::printf("registration that never returns: made in %.1f ms, destroyed in %.1f ms "
                "(waits at most %lu ms)\n",
                madeMs, destroyedMs, static_cast<unsigned long>(CDeviceNotifications::kStopWaitMs));
    flag.reset();
    SetEvent(FakeConfigManager::release);  // the service answers at last
    EXPECT_TRUE(WaitFor([] { return FakeConfigManager::unregistered == 1; }));
}

TEST(Win32DeviceNotifications, ARegistrationThatAnswersLateIsUsedFromThen)
{
    using Mode = CDeviceNotifications::Mode;
    FakeConfigManager::Reset();
    CChangeFlag flag;
    flag.Take();
    CDeviceNotifications n(kHidGuid, flag, Source::ConfigManager, FakeConfigManager::Calls(), 50);
    ASSERT_TRUE(WaitFor([&] { return n.Current() == Mode::Late; }));
    SetEvent(FakeConfigManager::release);
    ASSERT_TRUE(n.WaitAnswered(10000));
    EXPECT_EQ(n.Current(), Mode::Notified);
    EXPECT_TRUE(flag.Take());  // a scan for what went unheard
}

// Wine has no CM_Register_Notification: the window is the source there.
TEST(Win32DeviceNotifications, ASourceRegistersAndGoesQuietly)
{
    CChangeFlag flag;
    std::unique_ptr<CDeviceNotifications> n;
    ASSERT_TRUE(Returns([&] { n = std::make_unique<CDeviceNotifications>(kHidGuid, flag); }));
    ASSERT_TRUE(n->WaitAnswered(10000));
    std::printf("device notifications from: %s\n",
                n->Active() == Source::ConfigManager ? "CM_Register_Notification"
                : n->Active() == Source::Window      ? "a message-only window"
                                                     : "nothing (every look scans)");
    EXPECT_NE(n->Active(), Source::None);
    EXPECT_TRUE(Returns([&] { n.reset(); }));
}

// Every message-only window of the platform's notifications in this
// process gets `event` for a HID interface, as the system would send it.
void SendToPlatformWindows(WPARAM event)
{
    DEV_BROADCAST_DEVICEINTERFACE_W iface{};
    iface.dbcc_size = sizeof iface;
    iface.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    iface.dbcc_classguid = kHidGuid;
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, L"WendrelHidChanges", nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, L"WendrelHidChanges", nullptr)) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(w, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&iface),
                            SMTO_NORMAL, 10000, &result);
    }
}

// The real platform, once its notifications have registered (false where
// none can).
bool Registered(hid::Platform& platform)
{
    return WaitFor([&] { return platform.CanWaitChanged(); }, 3 * CDeviceNotifications::kGraceMs);
}

// The real platform and CHidDevice: a look scans once, then not until a
// notification, and the console's watch answers that notification.
TEST(Win32Platform, TheWatchAnswersADeviceNotification)
{
    auto platform = hid::SystemPlatform();
    if (!Registered(*platform)) GTEST_SKIP() << "no device notifications here";
    EXPECT_TRUE(platform->TakeChanged());
    EXPECT_FALSE(platform->TakeChanged());

    CHidDevice device(platform);
    // Answers run on the watcher's thread here: nothing else waits for them.
    device.SetPoster([](std::function<void()> fn) { fn(); });
    std::atomic<int> answers{0};
    ASSERT_TRUE(device.WatchChanges([&] { ++answers; }));
    SendToPlatformWindows(DBT_DEVICEARRIVAL);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (answers == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(answers, 1);  // one request, one answer
    EXPECT_TRUE(platform->TakeChanged());
    EXPECT_FALSE(platform->TakeChanged());
}

TEST(Win32Platform, StopWaitingEndsAWaitForChanges)
{
    auto platform = hid::SystemPlatform();
    if (!Registered(*platform)) GTEST_SKIP() << "no device notifications here";
    platform->TakeChanged();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        platform->StopWaiting();
    });
    EXPECT_TRUE(Returns([&] { EXPECT_FALSE(platform->WaitChanged()); }));
    stopper.join();
}

}  // namespace
