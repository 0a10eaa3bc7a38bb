#include "virtual_board.h"

#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>

extern char** environ;

namespace {

std::string Env(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

// Reads until the peer closes; false when it stays silent for `timeoutMs`.
bool ReadAll(int fd, std::string& into, int timeoutMs)
{
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
}

// The board service (tools/board/service.py), which the end-to-end runner
// starts for each boot: a command costs a round trip instead of an
// interpreter's start. Nothing when no service listens.
std::optional<ToolResult> AskService(const std::vector<std::string>& args)
{
    const std::string path = Env("WENDREL_BOARD_STATE", "/run/wendrel-board") + "/board.sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return std::nullopt;
    }
    std::string request;
    for (const auto& a : args) {
        request += a;
        request += '\0';
    }
    ToolResult result;
    bool sent = true;
    for (std::size_t done = 0; sent && done < request.size();) {
        const ssize_t n = send(fd, request.data() + done, request.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            sent = false;
        }
    }
    shutdown(fd, SHUT_WR);
    std::string reply;
    // Every board command bounds its own waits; this only stops a test
    // whose service hangs.
    const bool complete = sent && ReadAll(fd, reply, 600000);
    close(fd);
    int status = 0;
    std::size_t outBytes = 0, errBytes = 0;
    const std::size_t header = reply.find('\n') + 1;  // 0 when there is none
    if (!complete || header == 0 ||
        std::sscanf(reply.substr(0, header).c_str(), "%d %zu %zu", &status, &outBytes,
                    &errBytes) != 3 ||
        header + outBytes + errBytes > reply.size()) {
        std::fprintf(stderr, "board service: no answer\n");
        return result;  // status -1
    }
    result.status = status;
    result.output = reply.substr(header, outBytes);
    std::fwrite(reply.data() + header + outBytes, 1, errBytes, stderr);
    return result;
}

ToolResult SpawnTool(const std::vector<std::string>& args)
{
    ToolResult result;
    std::vector<std::string> all{"python3", Env("RIG_BOARD", WENDREL_BOARD_TOOL)};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        std::fprintf(stderr, "cannot run the board tool: error %d\n", rc);
        return result;
    }
    ReadAll(out[0], result.output, -1);
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace

ToolResult RunBoardTool(const std::vector<std::string>& args)
{
    std::optional<ToolResult> asked = AskService(args);
    ToolResult result = asked ? *asked : SpawnTool(args);
    while (!result.output.empty() && result.output.back() == '\n') result.output.pop_back();
    return result;
}

namespace {

std::string Hex(int value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04x", value);
    return buf;
}

std::string Node(const ToolResult& r)
{
    return r.status == 0 ? r.output : std::string();
}

bool Ok(const std::vector<std::string>& args)
{
    return RunBoardTool(args).status == 0;
}

}  // namespace

// Boards stay until the next RemoveAll: each fixture starts with one.
VirtualBoard::~VirtualBoard() = default;

std::string VirtualBoard::Plug(const Options& o)
{
    std::vector<std::string> args{"plug", m_name, "--vid", Hex(o.vid), "--pid", Hex(o.pid),
                                  "--in", std::to_string(o.inLength), "--out",
                                  std::to_string(o.outLength), "--report-id",
                                  std::to_string(o.reportId)};
    if (o.featureReportId != 0) {
        args.push_back("--feature-id");
        args.push_back(std::to_string(o.featureReportId));
    }
    if (!o.udc.empty()) {
        args.push_back("--udc");
        args.push_back(o.udc);
    }
    return Node(RunBoardTool(args));
}

bool VirtualBoard::Unplug()
{
    return Ok({"unplug", m_name});
}

std::string VirtualBoard::Replug(int pid)
{
    std::vector<std::string> args{"replug", m_name};
    if (pid >= 0) {
        args.push_back("--pid");
        args.push_back(Hex(pid));
    }
    return Node(RunBoardTool(args));
}

bool VirtualBoard::StartFirmware(bool echo, int bootPid)
{
    std::vector<std::string> args{"start", m_name};
    if (echo) args.push_back("--echo");
    if (bootPid >= 0) {
        args.push_back("--boot-pid");
        args.push_back(Hex(bootPid));
    }
    return Ok(args);
}

bool VirtualBoard::StopFirmware()
{
    return Ok({"stop", m_name});
}

bool VirtualBoard::Send(const std::vector<std::string>& texts)
{
    std::vector<std::string> args{"send", m_name};
    args.insert(args.end(), texts.begin(), texts.end());
    return Ok(args);
}

bool VirtualBoard::SendRaw(const std::vector<std::vector<std::uint8_t>>& reports)
{
    std::vector<std::string> args{"send-hex", m_name};
    for (const auto& r : reports) {
        std::string hex;
        char byte[3];
        for (std::uint8_t b : r) {
            std::snprintf(byte, sizeof byte, "%02x", b);
            hex += byte;
        }
        args.push_back(hex);
    }
    return Ok(args);
}

bool VirtualBoard::Burst(int count)
{
    return Ok({"--timeout", "60", "burst", m_name, std::to_string(count)});
}

std::vector<std::vector<std::uint8_t>> VirtualBoard::Received(int atLeast)
{
    std::vector<std::vector<std::uint8_t>> reports;
    ToolResult r = RunBoardTool({"received", m_name, "--wait", std::to_string(atLeast)});
    if (r.status != 0) return reports;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i + 1 < line.size(); i += 2)
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
        reports.push_back(std::move(bytes));
    }
    return reports;
}

bool VirtualBoard::ClearReceived()
{
    return Ok({"clear", m_name});
}

bool VirtualBoard::RemoveAll()
{
    return Ok({"remove", "--all"});
}
