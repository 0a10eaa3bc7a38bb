// The platform contract's driver for the Linux platform in the rig's VM:
// the virtual board through the board tool, another program's hold as a
// descriptor of our own, and a refusal as the node's owner-only mode met
// by a user other than root.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform_contract.h"
#include "virtual_board.h"

namespace platform_contract {
namespace {

constexpr uid_t kNobody = 65534;

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

class CLinuxDriver : public CBoardDriver {
public:
    hid::Platform& Platform() override { return *m_pPlatform; }

    std::u16string Plug(const BoardShape& shape) override
    {
        Release();
        if (!VirtualBoard::RemoveAll()) return u"";
        // The board frames what it sends behind its input report's ID.
        const ToolResult r = RunBoardTool(
            {"plug", "pc", "--in", std::to_string(shape.inLength), "--out",
             std::to_string(shape.outLength), "--report-id", std::to_string(shape.inputReportId),
             "--descriptor", Hex(Descriptor(shape))});
        m_node = r.status == 0 ? r.output : "";
        return Widen(m_node);
    }

    bool Unplug() override { return m_board.Unplug(); }

    bool Send(const Bytes& data) override { return m_board.SendRaw({data}); }

    bool StartReading() override { return m_board.StartFirmware(); }

    std::vector<Bytes> Received(std::size_t atLeast) override
    {
        return m_board.Received(static_cast<int>(atLeast));
    }

    // hidraw has no open that excludes others: any program's descriptor
    // holds the board as much as it can be held.
    std::string Hold() override
    {
        m_held = open(m_node.c_str(), O_RDWR | O_CLOEXEC);
        return m_held >= 0 ? "" : "the board's node did not open";
    }

    void Release() override
    {
        if (m_held >= 0) close(m_held);
        m_held = -1;
    }

    // The cases run as root, whom no mode refuses: the open is made as
    // nobody, with the node readable by its owner alone.
    std::string WhileRefused(const std::function<void()>& during) override
    {
        struct stat st {};
        if (stat(m_node.c_str(), &st) != 0) return "the board's node is gone";
        if (chmod(m_node.c_str(), 0600) != 0 || seteuid(kNobody) != 0) {
            chmod(m_node.c_str(), st.st_mode & 07777);
            return "cannot act as another user here";
        }
        during();
        const bool back = seteuid(0) == 0;
        chmod(m_node.c_str(), st.st_mode & 07777);
        if (!back) {
            std::fprintf(stderr, "cannot become root again\n");
            std::abort();
        }
        return "";
    }

private:
    std::shared_ptr<hid::Platform> m_pPlatform = hid::SystemPlatform();
    VirtualBoard m_board{"pc"};
    std::string m_node;
    int m_held = -1;
};

}  // namespace

CBoardDriver& Driver()
{
    static CLinuxDriver driver;
    return driver;
}

}  // namespace platform_contract
