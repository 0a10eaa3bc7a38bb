// The platform contract (tests/hid/platform_contract.h) on the Windows
// platform under Wine in the rig's VM. The board is the guest's, out of a
// Windows program's reach: each board step is a request, one line
// "@board WORDS" among GoogleTest's report on standard output, which
// wine_platform_contract_e2e.py carries out and answers on standard input,
// one line "ok DETAIL" or "fail REASON".
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>

#include "platform_contract.h"

namespace platform_contract {
namespace {

// Wine hears of a plug or an unplug through udev and its device service:
// seconds under emulation, printed; the bound only catches a hang.
constexpr int kListingMs = 120000;

std::string Hex(const Bytes& bytes)
{
    std::string hex;
    char byte[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        hex += byte;
    }
    return hex;
}

// "ok DETAIL" as {true, DETAIL}; anything else is a failure.
std::pair<bool, std::string> Ask(const std::string& request)
{
    std::printf("\n@board %s\n", request.c_str());
    std::fflush(stdout);
    static char line[1 << 16];
    if (!std::fgets(line, sizeof line, stdin)) return {false, "no answer"};
    std::string reply = line;
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.pop_back();
    const std::size_t space = reply.find(' ');
    const std::string word = reply.substr(0, space);
    const std::string detail = space == std::string::npos ? "" : reply.substr(space + 1);
    if (word != "ok") std::printf("board %s: %s\n", request.c_str(), reply.c_str());
    return {word == "ok", detail};
}

bool IsBoard(const hid::DeviceInfo& d)
{
    std::u16string id = d.hardwareId;
    for (auto& c : id)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return id.find(u"VID_04D8&PID_003F") != std::u16string::npos;
}

class CWineDriver : public CBoardDriver {
public:
    hid::Platform& Platform() override { return *m_pPlatform; }

    std::u16string Plug(const BoardShape& shape) override
    {
        Release();
        if (!Ask("remove").first || !WaitListed(false)) return u"";
        std::ostringstream request;
        request << "plug " << shape.inLength << ' ' << shape.outLength << ' '
                << shape.inputReportId << ' ' << Hex(Descriptor(shape));
        if (!Ask(request.str()).first || !WaitListed(true)) return u"";
        return m_path;
    }

    bool Unplug() override { return Ask("unplug").first; }

    bool Send(const Bytes& data) override { return Ask("send " + Hex(data)).first; }

    bool StartReading() override { return Ask("start").first; }

    std::vector<Bytes> Received(std::size_t atLeast) override
    {
        std::vector<Bytes> reports;
        const auto answer = Ask("received " + std::to_string(atLeast));
        if (!answer.first) return reports;
        std::istringstream words(answer.second);
        std::string hex;
        while (words >> hex) {
            Bytes bytes;
            for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
                bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
            reports.push_back(std::move(bytes));
        }
        return reports;
    }

    // Another program's way: both accesses, sharing nothing.
    std::string Hold() override
    {
        m_hHeld = CreateFileW(reinterpret_cast<const wchar_t*>(m_path.c_str()),
                              GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (m_hHeld != INVALID_HANDLE_VALUE) return "";
        return "the board could not be held: error " + std::to_string(GetLastError());
    }

    void Release() override
    {
        if (m_hHeld != INVALID_HANDLE_VALUE) CloseHandle(m_hHeld);
        m_hHeld = INVALID_HANDLE_VALUE;
    }

    std::string WhileRefused(const std::function<void()>&) override
    {
        return "under Wine a board's node is opened by Wine's own device service, so no "
               "permission of this user stands between a program and the board";
    }

private:
    // Waits until Wine lists the board (its path kept) or lists none.
    bool WaitListed(bool present)
    {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            bool found = false;
            for (const hid::DeviceInfo& d : m_pPlatform->Enumerate())
                if (IsBoard(d)) {
                    found = true;
                    m_path = d.path;
                    break;
                }
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
            if (found == present) {
                std::printf("board %s Wine's list after %lld ms\n", present ? "in" : "gone from",
                            static_cast<long long>(ms));
                return true;
            }
            if (ms > kListingMs) {
                std::printf("board still %s Wine's list after %lld ms\n",
                            present ? "missing from" : "in", static_cast<long long>(ms));
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    std::shared_ptr<hid::Platform> m_pPlatform = hid::SystemPlatform();
    std::u16string m_path;
    HANDLE m_hHeld = INVALID_HANDLE_VALUE;
};

}  // namespace

CBoardDriver& Driver()
{
    static CWineDriver driver;
    return driver;
}

}  // namespace platform_contract
