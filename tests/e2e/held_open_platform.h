// The system platform with its opens held back while a test says: the
// open of a path a scan found can come seconds later on a real machine
// (it waits in the kernel behind another device's stuck write), and the
// board may be gone by then, its node another device's. Holding the open
// here stages that on the rig at a moment the test chooses. Everything
// else goes straight to the system.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hid_platform.h"

class CHeldOpenPlatform : public hid::Platform {
public:
    explicit CHeldOpenPlatform(std::shared_ptr<hid::Platform> pInner = hid::SystemPlatform())
        : m_pInner(std::move(pInner))
    {
    }

    void Hold()
    {
        std::lock_guard lock(m_mutex);
        m_bHold = true;
    }
    void Release()
    {
        std::lock_guard lock(m_mutex);
        m_bHold = false;
        m_cond.notify_all();
    }
    // True once an open waits in Hold (false after timeoutMs).
    bool WaitHeld(int timeoutMs = 60000)
    {
        std::unique_lock lock(m_mutex);
        return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return m_nHeld > 0; });
    }
    bool Held() const
    {
        std::lock_guard lock(m_mutex);
        return m_nHeld > 0;
    }

    hid::Handle* Open(const std::u16string& path, hid::Access access,
                      hid::OpenError* error) override
    {
        {
            std::unique_lock lock(m_mutex);
            ++m_nHeld;
            m_cond.notify_all();
            m_cond.wait(lock, [&] { return !m_bHold; });
            --m_nHeld;
        }
        return m_pInner->Open(path, access, error);
    }

    std::vector<hid::DeviceInfo> Enumerate() override { return m_pInner->Enumerate(); }
    bool TakeChanged() override { return m_pInner->TakeChanged(); }
    bool CanWaitChanged() const override { return m_pInner->CanWaitChanged(); }
    bool WaitChanged() override { return m_pInner->WaitChanged(); }
    void StopWaiting() override { m_pInner->StopWaiting(); }
    bool Identify(hid::Handle* handle, hid::DeviceIdentity& identity) override
    {
        return m_pInner->Identify(handle, identity);
    }
    bool GetReportLengths(hid::Handle* handle, hid::ReportLengths& lengths) override
    {
        return m_pInner->GetReportLengths(handle, lengths);
    }
    int Read(hid::Handle* handle, std::uint8_t* buf, std::size_t size, int timeoutMs) override
    {
        return m_pInner->Read(handle, buf, size, timeoutMs);
    }
    void InterruptRead(hid::Handle* handle) override { m_pInner->InterruptRead(handle); }
    int Write(hid::Handle* handle, const std::uint8_t* buf, std::size_t size) override
    {
        return m_pInner->Write(handle, buf, size);
    }
    bool WriteTimedOut(hid::Handle* handle) override { return m_pInner->WriteTimedOut(handle); }
    void Close(hid::Handle* handle) override { m_pInner->Close(handle); }
    hid::AccessFacts GetAccessFacts() const override { return m_pInner->GetAccessFacts(); }

private:
    const std::shared_ptr<hid::Platform> m_pInner;
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_bHold = false;  // guarded by m_mutex
    int m_nHeld = 0;       // guarded by m_mutex: opens waiting
};

// Lets held opens go, and waits for the test's thread that made one,
// whatever way a test ends.
struct HeldOpenRelease {
    CHeldOpenPlatform& platform;
    std::thread* opener = nullptr;
    ~HeldOpenRelease()
    {
        platform.Release();
        if (opener && opener->joinable()) opener->join();
    }
};
