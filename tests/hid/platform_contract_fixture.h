// The platform contract's fixture and helpers, shared by its case files.
// Bounds only catch a hang; the times are printed, never judged.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform_contract.h"

namespace platform_contract {
namespace {

using Clock = std::chrono::steady_clock;

// A hang, not a slow machine: every wait of the suite ends long before.
constexpr int kHangMs = 90000;

inline const char* Name(hid::OpenError e)
{
    switch (e) {
    case hid::OpenError::None: return "None";
    case hid::OpenError::NotFound: return "NotFound";
    case hid::OpenError::PermissionDenied: return "PermissionDenied";
    case hid::OpenError::HeldByOther: return "HeldByOther";
    case hid::OpenError::Other: return "Other";
    }
    return "?";
}

inline std::string Narrow(const std::u16string& s)
{
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

inline std::u16string Upper(std::u16string s)
{
    for (char16_t& c : s)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return s;
}

inline Bytes Text(const std::string& text, std::size_t length, std::uint8_t id = 0, bool withId = true)
{
    Bytes r;
    if (withId) r.push_back(id);
    r.insert(r.end(), text.begin(), text.end());
    r.resize(length + (withId ? 1 : 0), 0);
    return r;
}

inline long long Ms(Clock::duration d)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// Runs `call` on a thread of its own and waits for it at most kHangMs:
// nothing when it hangs (the thread is then left behind, the case failed).
template <typename F>
std::optional<int> Bounded(const char* what, F call, long long* tookMs = nullptr)
{
    auto task = std::make_shared<std::packaged_task<int()>>(std::move(call));
    std::future<int> done = task->get_future();
    const auto start = Clock::now();
    std::thread thread([task] { (*task)(); });
    if (done.wait_for(std::chrono::milliseconds(kHangMs)) != std::future_status::ready) {
        ADD_FAILURE() << what << " did not return within " << kHangMs << " ms";
        thread.detach();
        return std::nullopt;
    }
    thread.join();
    const long long took = Ms(Clock::now() - start);
    if (tookMs) *tookMs = took;
    std::printf("%s: %lld ms\n", what, took);
    return done.get();
}

inline bool WaitUntil(const std::function<bool()>& condition)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(kHangMs);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class PlatformContract : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (hid::Handle* h : m_handles) p.Close(h);
    }

    // Plugs a board of `shape`; the case stops when that fails.
    std::u16string Plug(const BoardShape& shape = {})
    {
        const std::u16string path = d.Plug(shape);
        EXPECT_FALSE(path.empty()) << "the board could not be plugged in";
        return path;
    }

    hid::Handle* Open(const std::u16string& path, hid::Access access)
    {
        hid::OpenError why = hid::OpenError::Other;
        hid::Handle* h = p.Open(path, access, &why);
        EXPECT_NE(h, nullptr) << "open for " << (access == hid::Access::Read ? "reading" : "writing")
                              << " refused: " << Name(why);
        if (h) {
            EXPECT_EQ(why, hid::OpenError::None);
            m_handles.push_back(h);
        }
        return h;
    }

    void Close(hid::Handle*& h)
    {
        m_handles.erase(std::remove(m_handles.begin(), m_handles.end(), h), m_handles.end());
        p.Close(h);
        h = nullptr;
    }

    // One Read with a room of `size` bytes, waiting `timeoutMs` at most.
    int Read(hid::Handle* h, Bytes& into, std::size_t size, int timeoutMs = 60000)
    {
        into.assign(size, 0xEE);
        const int n = p.Read(h, into.data(), size, timeoutMs);
        into.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return n;
    }

    CBoardDriver& d = Driver();
    hid::Platform& p = d.Platform();
    std::vector<hid::Handle*> m_handles;
};

}  // namespace
}  // namespace platform_contract
