// The Windows device layer (hid::SystemPlatform) under Wine against the
// virtual board, one command per line on standard input, one reply line
// each ("ok ..." or "fail ..."), like wendrel_driver's session:
//
//   notifications SECONDS
//                      whether the platform can wait for device changes
//                      once its registration has answered, and how long
//                      that took
//   take               TakeChanged's answer: "changed" or "unchanged"
//   wait SECONDS       sleeps in WaitChanged until a change: "changed after
//                      N ms", or fails when none came in time
//   list               the board's interfaces (vendor 0x04D8, product
//                      0x003F) in the platform's order: path, hardware ID
//   open               opens the first of them for reading and writing as
//                      the console does, and closes it: "opened", or the
//                      platform's reason
//   hold               opens the first of them for reading and writing,
//                      sharing nothing, and keeps it open
//   release            closes what hold opened
//
// Only Enumerate after a "wait" or a "take" that answered "changed" looks
// at the list, so the case sees the platform scan only when told.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "hid_platform.h"

namespace {

std::string Narrow(const std::u16string& s)
{
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

bool IsBoard(const hid::DeviceInfo& d)
{
    std::u16string id = d.hardwareId;
    for (auto& c : id)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return id.find(u"VID_04D8&PID_003F") != std::u16string::npos;
}

const char* Name(hid::OpenError e)
{
    switch (e) {
    case hid::OpenError::None: return "none";
    case hid::OpenError::NotFound: return "not found";
    case hid::OpenError::PermissionDenied: return "permission denied";
    case hid::OpenError::HeldByOther: return "held by another program";
    case hid::OpenError::Other: return "other";
    }
    return "?";
}

struct Reply {
    bool ok;
    std::string detail;
};

class CProbe {
public:
    Reply Run(const std::string& command, const std::string& arg)
    {
        if (command == "notifications") return Notifications(std::atof(arg.c_str()));
        if (command == "take") return {true, m_platform->TakeChanged() ? "changed" : "unchanged"};
        if (command == "wait") return Wait(std::atof(arg.c_str()));
        if (command == "list") return List();
        if (command == "open") return Open();
        if (command == "hold") return Hold();
        if (command == "release") {
            if (m_hHeld != INVALID_HANDLE_VALUE) CloseHandle(m_hHeld);
            m_hHeld = INVALID_HANDLE_VALUE;
            return {true, "released"};
        }
        return {false, "unknown command " + command};
    }

private:
    // Registration for device notifications runs on a thread of its own;
    // until it has answered (seconds, emulated; longer while the guest is
    // busy), the platform scans on every look instead. The bound only
    // catches a registration that never answers, which leaves the
    // platform scanning once a second.
    Reply Notifications(double seconds)
    {
        const auto start = std::chrono::steady_clock::now();
        const auto until = start + std::chrono::duration<double>(seconds > 0 ? seconds : 60);
        while (!m_platform->CanWaitChanged() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        return {true, std::string(m_platform->CanWaitChanged() ? "can wait" : "cannot wait") +
                          " after " + std::to_string(ms) + " ms"};
    }

    Reply Wait(double seconds)
    {
        const auto start = std::chrono::steady_clock::now();
        auto changed = std::async(std::launch::async, [this] { return m_platform->WaitChanged(); });
        if (changed.wait_for(std::chrono::duration<double>(seconds)) != std::future_status::ready) {
            m_platform->StopWaiting();
            changed.get();
            return {false, "no change within " + std::to_string(seconds) + " s"};
        }
        const bool ok = changed.get();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        return {ok, (ok ? "changed after " : "wait failed after ") + std::to_string(ms) + " ms"};
    }

    std::vector<hid::DeviceInfo> Boards()
    {
        std::vector<hid::DeviceInfo> boards;
        for (const hid::DeviceInfo& d : m_platform->Enumerate())
            if (IsBoard(d)) boards.push_back(d);
        return boards;
    }

    Reply List()
    {
        std::string out;
        const auto boards = Boards();
        for (const hid::DeviceInfo& d : boards)
            out += (out.empty() ? "" : " | ") + Narrow(d.path) + " " + Narrow(d.hardwareId);
        return {true,
                std::to_string(boards.size()) + " interfaces" + (out.empty() ? "" : ": " + out)};
    }

    Reply Open()
    {
        const auto boards = Boards();
        if (boards.empty()) return {false, "no board"};
        hid::OpenError why = hid::OpenError::None;
        hid::Handle* w = m_platform->Open(boards[0].path, hid::Access::Write, &why);
        hid::Handle* r = w ? m_platform->Open(boards[0].path, hid::Access::Read, &why) : nullptr;
        m_platform->Close(r);
        m_platform->Close(w);
        return {true, r ? "opened" : std::string("refused: ") + Name(why)};
    }

    Reply Hold()
    {
        const auto boards = Boards();
        if (boards.empty()) return {false, "no board"};
        HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(boards[0].path.c_str()),
                               GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return {false, "hold refused, error " + std::to_string(GetLastError())};
        m_hHeld = h;
        return {true, "holding " + Narrow(boards[0].path)};
    }

    std::shared_ptr<hid::Platform> m_platform = hid::SystemPlatform();
    HANDLE m_hHeld = INVALID_HANDLE_VALUE;
};

}  // namespace

int main()
{
    CProbe probe;
    char line[512];
    while (std::fgets(line, sizeof line, stdin)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (text.empty()) continue;
        const std::size_t space = text.find(' ');
        const Reply r = probe.Run(text.substr(0, space),
                                  space == std::string::npos ? "" : text.substr(space + 1));
        std::printf("%s %s\n", r.ok ? "ok" : "fail", r.detail.c_str());
        std::fflush(stdout);
    }
    return 0;
}
