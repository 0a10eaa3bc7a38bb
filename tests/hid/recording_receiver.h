// An owner for CHidDevice in tests: records every text, and can be held
// shut to act as an owner that is slow to take them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "hid_device.h"

class RecordingReceiver : public IHidReceiver {
public:
    void OnReceive(const std::u16string& text, std::span<const std::uint8_t> bytes) override
    {
        std::unique_lock lock(m_mutex);
        m_cond.wait(lock, [&] { return !m_held; });
        m_texts.push_back(text);
        m_bytes.emplace_back(bytes.begin(), bytes.end());
        m_cond.notify_all();
    }

    // While held, OnReceive blocks: the owner is busy.
    void Hold()
    {
        std::lock_guard lock(m_mutex);
        m_held = true;
    }
    void Release()
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
        m_cond.notify_all();
    }

    bool WaitFor(std::size_t count, int timeoutMs = 60000)
    {
        std::unique_lock lock(m_mutex);
        return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return m_texts.size() >= count; });
    }

    // The data of every report, as handed over with its text.
    std::vector<std::vector<std::uint8_t>> Bytes()
    {
        std::lock_guard lock(m_mutex);
        return m_bytes;
    }

    std::vector<std::u16string> Texts()
    {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_held = false;
    std::vector<std::u16string> m_texts;
    std::vector<std::vector<std::uint8_t>> m_bytes;
};
