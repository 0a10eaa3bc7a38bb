// The platform contract's driver for the fake platform: the board side is
// the fake's own test side.
#include <memory>

#include "fake_platform.h"
#include "platform_contract.h"

namespace platform_contract {
namespace {

const std::u16string kPath = u"/dev/hidraw0";

class CFakeDriver : public CBoardDriver {
public:
    CFakeDriver()
    {
        // The fake's own pace: the systems give up after about 5 s.
        m_pFake->SetWriteGiveUpMs(200);
        m_pFake->SetAccessFacts({.ruleService = "rulesd", .ruleFile = "50-board.rules"});
    }

    hid::Platform& Platform() override { return *m_pFake; }

    std::u16string Plug(const BoardShape& shape) override
    {
        m_pFake->Unplug(kPath);
        m_pFake->ClearOpenFails();
        m_shape = shape;
        // The fake keeps what a path was written; the new board read none of it.
        m_nEarlier = m_pFake->Written(kPath).size();
        m_pFake->Plug({kPath, u"HID\\VID_04D8&PID_003F&REV_0002",
                       {shape.inLength + 1, shape.outLength + 1,
                        static_cast<std::uint8_t>(shape.outputReportId)}});
        m_pFake->StopReading(kPath);
        return kPath;
    }

    bool Unplug() override
    {
        m_pFake->Unplug(kPath);
        return true;
    }

    bool Send(const Bytes& data) override
    {
        // Read's form: the ID, or 0 where the board numbers nothing.
        Bytes report{static_cast<std::uint8_t>(m_shape.inputReportId)};
        report.insert(report.end(), data.begin(), data.end());
        report.resize(static_cast<std::size_t>(m_shape.inLength) + 1, 0);
        m_pFake->PushInput(kPath, report);
        return true;
    }

    bool StartReading() override
    {
        m_pFake->StartReading(kPath);
        return true;
    }

    std::vector<Bytes> Received(std::size_t atLeast) override
    {
        m_pFake->WaitWritten(kPath, m_nEarlier + atLeast);
        std::vector<Bytes> read = m_pFake->Written(kPath);
        read.erase(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(m_nEarlier));
        // A board without output report IDs never sees the 0 in front.
        if (m_shape.outputReportId == 0)
            for (Bytes& r : read)
                if (!r.empty()) r.erase(r.begin());
        return read;
    }

    std::string Hold() override
    {
        m_pFake->SetOpenFails(hid::OpenError::HeldByOther);
        return "";
    }

    void Release() override { m_pFake->ClearOpenFails(); }

    std::string WhileRefused(const std::function<void()>& during) override
    {
        m_pFake->SetOpenFails(hid::OpenError::PermissionDenied);
        during();
        m_pFake->ClearOpenFails();
        return "";
    }

private:
    std::shared_ptr<hid::test::FakePlatform> m_pFake = std::make_shared<hid::test::FakePlatform>();
    BoardShape m_shape;
    std::size_t m_nEarlier = 0;
};

}  // namespace

CBoardDriver& Driver()
{
    static CFakeDriver driver;
    return driver;
}

}  // namespace platform_contract
