// The Windows platform against Wine's own HID devices (it always lists two,
// vendor 0x845E), and against paths that do not exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "hid_platform.h"
#include "hid_platform_win32_handle.h"
#include "hid_platform_win32_library.h"
#include "hid_platform_win32_rules.h"

namespace {

std::u16string Lower(std::u16string s)
{
    for (auto& c : s)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return s;
}

TEST(Win32Platform, ListsInterfacesWithPathAndFirstHardwareId)
{
    auto platform = hid::SystemPlatform();
    const auto list = platform->Enumerate();
    ASSERT_FALSE(list.empty());
    for (const auto& d : list) {
        EXPECT_EQ(Lower(d.path).rfind(u"\\\\?\\hid#", 0), 0u);
        // The first string only: no terminator inside, an ID of the HID bus.
        EXPECT_EQ(d.hardwareId.find(u'\0'), std::u16string::npos);
        EXPECT_EQ(Lower(d.hardwareId).rfind(u"hid\\vid_", 0), 0u);
        EXPECT_NE(Lower(d.hardwareId).find(u"&pid_"), std::u16string::npos);
    }
    EXPECT_TRUE(platform->TakeChanged());
}

TEST(Win32Platform, OpenOfMissingPathSaysNotFound)
{
    auto platform = hid::SystemPlatform();
    for (const char16_t* path :
         {u"\\\\?\\hid#vid_04d8&pid_003f#0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
          u"C:\\no\\such\\file"}) {
        hid::OpenError error = hid::OpenError::None;
        EXPECT_EQ(platform->Open(path, hid::Access::Read, &error), nullptr);
        EXPECT_EQ(error, hid::OpenError::NotFound);
    }
    hid::OpenError error = hid::OpenError::None;
    EXPECT_EQ(platform->Open(u"", hid::Access::Write, &error), nullptr);
    EXPECT_NE(error, hid::OpenError::None);
    platform->Close(nullptr);
}

// Another program that opened a device for itself: Windows refuses any
// other open with a sharing violation, which the console names. Wine 8
// does not enforce share modes on HID devices: there this says so and is
// skipped.
TEST(Win32Platform, ADeviceHeldWithoutSharingIsHeldByOther)
{
    auto platform = hid::SystemPlatform();
    for (const auto& d : platform->Enumerate()) {
        const auto* path = reinterpret_cast<const wchar_t*>(d.path.c_str());
        HANDLE held = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (held == INVALID_HANDLE_VALUE) continue;
        hid::OpenError error = hid::OpenError::None;
        hid::Handle* h = platform->Open(d.path, hid::Access::Read, &error);
        platform->Close(h);
        CloseHandle(held);
        if (h) GTEST_SKIP() << "share modes are not enforced on HID devices here (Wine)";
        EXPECT_EQ(error, hid::OpenError::HeldByOther);
        return;
    }
    GTEST_SKIP() << "no HID device opens here";
}

// One of Wine's own devices, open for reading; skipped where none opens.
class WineDevice : public testing::Test {
protected:
    void SetUp() override
    {
        platform = hid::SystemPlatform();
        for (const auto& d : platform->Enumerate()) {
            handle = platform->Open(d.path, hid::Access::Read);
            if (handle) break;
        }
        if (!handle) GTEST_SKIP() << "no HID device opens here";
    }
    void TearDown() override
    {
        if (platform) platform->Close(handle);
    }
    std::shared_ptr<hid::Platform> platform;
    hid::Handle* handle = nullptr;
};

TEST_F(WineDevice, ReportLengthsComeFromTheCapabilities)
{
    hid::ReportLengths lengths{-1, -1};
    ASSERT_TRUE(platform->GetReportLengths(handle, lengths));
    EXPECT_GT(lengths.input, 0);
    EXPECT_GE(lengths.output, 0);
}

// Wine's own devices (a keyboard among them) may send a report at any time:
// a read answers a report or nothing, never a failure.
// The handle keeps what a reader that stalls would otherwise lose.
TEST_F(WineDevice, AReadHandleKeepsTheInputBuffersAskedFor)
{
    const hid::win32::Win32Handle* h = hid::win32::Cast(handle);
    EXPECT_EQ(h->inputBuffers, hid::win32::kInputBuffers);
    hid::win32::CHidLibrary library;
    unsigned long count = 0;
    ASSERT_TRUE(library.GetNumInputBuffers(h->file, count));
    EXPECT_EQ(count, hid::win32::kInputBuffers);
}

TEST_F(WineDevice, ReadTimesOutWithNothing)
{
    std::uint8_t buf[65];
    EXPECT_GE(platform->Read(handle, buf, sizeof buf, 30), 0);
    // A buffer smaller than one report: still no failure.
    EXPECT_GE(platform->Read(handle, buf, 1, 30), 0);
}

TEST_F(WineDevice, InterruptEndsAReadWithoutLimit)
{
    std::atomic<int> result{-2};
    std::thread reader([&] {
        std::uint8_t buf[65];
        result = platform->Read(handle, buf, sizeof buf, -1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    platform->InterruptRead(handle);
    reader.join();  // would hang if the interrupt were lost
    EXPECT_GE(result, 0);
}

TEST_F(WineDevice, InterruptBeforeTheReadEndsTheNextOneOnly)
{
    platform->InterruptRead(handle);
    std::uint8_t buf[65];
    // Would wait without limit if the interrupt were lost.
    EXPECT_GE(platform->Read(handle, buf, sizeof buf, -1), 0);
    EXPECT_GE(platform->Read(handle, buf, sizeof buf, 20), 0);  // waits its time
}

// A pipe stands in for a device: an overlapped read on it stays pending
// until the other end writes, and the test chooses what a cancel does.
BOOL WINAPI IgnoreCancel(HANDLE, LPOVERLAPPED) { return TRUE; }

struct PipeDevice {
    HANDLE server = INVALID_HANDLE_VALUE;
    hid::Handle* handle = nullptr;

    explicit PipeDevice(bool cancelIgnored)
    {
        static int serial = 0;
        const std::wstring name = L"\\\\.\\pipe\\wendrel-read-" +
                                  std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(++serial);
        server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
        if (server == INVALID_HANDLE_VALUE) return;
        HANDLE client = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (client == INVALID_HANDLE_VALUE) return;
        auto* h = new hid::win32::Win32Handle;
        h->file = client;
        h->ioEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        h->lengths = {65, 65};
        h->lengthsKnown = true;
        if (cancelIgnored) h->cancel = IgnoreCancel;
        handle = reinterpret_cast<hid::Handle*>(h);
    }
    ~PipeDevice()
    {
        if (server != INVALID_HANDLE_VALUE) CloseHandle(server);
    }
    // The device sends a report at last.
    void Send()
    {
        std::uint8_t report[65] = {0, 'l', 'a', 't', 'e'};
        OVERLAPPED ov{};
        ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD done = 0;
        if (WriteFile(server, report, sizeof report, nullptr, &ov) ||
            GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(server, &ov, &done, TRUE);
        CloseHandle(ov.hEvent);
    }
};

// Close ends a reader by interrupting its read, which cancels the read in
// the system. Where a filter driver ignores the cancel, the reader still
// returns within the platform's bound (the read's record and buffer left
// to the system), the handle only fails from then on, and a report that
// lands in the abandoned read later harms nothing.
TEST(Win32Read, AnInterruptedReadEndsEvenWhenItsCancelIsIgnored)
{
    auto platform = hid::SystemPlatform();
    for (const bool ignored : {false, true}) {
        PipeDevice pipe(ignored);
        ASSERT_NE(pipe.handle, nullptr) << "no pipe here";
        std::atomic<int> result{-2};
        std::atomic<bool> returned{false};
        std::thread reader([&] {
            std::uint8_t buf[65];
            result = platform->Read(pipe.handle, buf, sizeof buf, -1);
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto t = std::chrono::steady_clock::now();
        platform->InterruptRead(pipe.handle);
        const auto until = t + std::chrono::seconds(20);  // only catches a hang
        while (!returned && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
        ASSERT_TRUE(returned) << "the reader hangs";
        reader.join();
        std::printf("read interrupted, cancel %s: returned %d after %.1f ms\n",
                    ignored ? "ignored" : "honoured", result.load(), ms);
        if (ignored) {
            EXPECT_EQ(result, -1);
            EXPECT_TRUE(hid::win32::Cast(pipe.handle)->stuck);
            std::uint8_t buf[65];
            EXPECT_EQ(platform->Read(pipe.handle, buf, sizeof buf, -1), -1);
        } else {
            EXPECT_EQ(result, 0);
        }
        pipe.Send();  // lands in the abandoned read, if one is left
        platform->Close(pipe.handle);
    }
}

}  // namespace
