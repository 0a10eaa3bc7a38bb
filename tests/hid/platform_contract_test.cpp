// The platform contract (platform_contract.h): what hid_platform.h
// promises, case by case, on whichever platform the driver brings: the
// board listed and opened, reports both ways, refused and held opens.
#include "platform_contract_fixture.h"

namespace platform_contract {
namespace {

// --- open --------------------------------------------------------------------

// The board is listed once, under a hardware ID formed as Windows forms it;
// both opens succeed and learn the lengths; the handles say what they are
// on, where the platform can tell.
TEST_F(PlatformContract, ListsTheBoardAndOpensItBothWays)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    const auto list = p.Enumerate();
    const auto listed = std::count_if(list.begin(), list.end(),
                                      [&](const hid::DeviceInfo& i) { return i.path == path; });
    ASSERT_EQ(listed, 1);
    const hid::DeviceInfo info =
        *std::find_if(list.begin(), list.end(), [&](const hid::DeviceInfo& i) { return i.path == path; });
    const std::u16string firstId = info.hardwareId.substr(0, info.hardwareId.find(u'\0'));
    EXPECT_EQ(Upper(firstId).rfind(u"HID\\VID_04D8&PID_003F", 0), 0u) << Narrow(firstId);

    hid::Handle* r = Open(path, hid::Access::Read);
    hid::Handle* w = Open(path, hid::Access::Write);
    ASSERT_TRUE(r && w);
    for (hid::Handle* h : {r, w}) {
        hid::ReportLengths lengths;
        ASSERT_TRUE(p.GetReportLengths(h, lengths));
        EXPECT_EQ(lengths.input, 65);
        EXPECT_EQ(lengths.output, 65);
        EXPECT_EQ(lengths.outputReportId, 0);
    }

    hid::DeviceIdentity ofRead, ofWrite;
    const bool tells = p.Identify(r, ofRead);
    EXPECT_EQ(p.Identify(w, ofWrite), tells);
    if (!tells) {
        std::printf("Identify: this platform cannot tell (its paths name one device for good)\n");
        return;
    }
    EXPECT_EQ(Upper(ofRead.hardwareId), Upper(firstId));
    EXPECT_FALSE(ofRead.instance.empty());
    EXPECT_EQ(ofWrite.instance, ofRead.instance) << "two handles on one device";
}

// --- read ----------------------------------------------------------------------

// Every report in Windows' form: byte 0 the ID (0 without IDs), the data
// whole; a room too small gets the report's head and loses nothing else;
// with nothing sent, a timeout answers 0.
TEST_F(PlatformContract, ReadsEachReportWholeAfterItsId)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    hid::Handle* r = Open(path, hid::Access::Read);  // before the board sends
    ASSERT_TRUE(r);

    const std::string full(64, 'A');  // no terminator: the data is the report
    ASSERT_TRUE(d.Send(Bytes{'H', 'e', 'l', 'l', 'o'}));
    ASSERT_TRUE(d.Send(Bytes(full.begin(), full.end())));
    Bytes got;
    EXPECT_EQ(Read(r, got, 80), 65);
    EXPECT_EQ(got, Text("Hello", 64));
    EXPECT_EQ(Read(r, got, 65), 65);
    EXPECT_EQ(got, Text(full, 64));

    ASSERT_TRUE(d.Send(Bytes{'C', 'u', 't', ' ', 'm', 'e'}));
    ASSERT_TRUE(d.Send(Bytes{'n', 'e', 'x', 't'}));
    EXPECT_EQ(Read(r, got, 4), 4) << "a longer report is cut to the room";
    EXPECT_EQ(got, (Bytes{0, 'C', 'u', 't'}));
    EXPECT_EQ(Read(r, got, 65), 65);
    EXPECT_EQ(got, Text("next", 64)) << "the cut report's rest is not a report of its own";

    const auto start = Clock::now();
    EXPECT_EQ(Read(r, got, 65, 300), 0);
    std::printf("Read with nothing sent, 300 ms timeout: returned 0 after %lld ms\n",
                Ms(Clock::now() - start));
}

// --- write ---------------------------------------------------------------------

TEST_F(PlatformContract, WritesEachReportOnceAndInOrder)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(d.StartReading());
    hid::Handle* w = Open(path, hid::Access::Write);
    ASSERT_TRUE(w);
    const Bytes first = Text("abc", 64);
    const Bytes second = Text(std::string(64, 'z'), 64);
    EXPECT_EQ(Bounded("Write to a reading board", [&] { return p.Write(w, first.data(), first.size()); }),
              65);
    EXPECT_EQ(p.Write(w, second.data(), second.size()), 65);
    // Without report IDs the board reads the data alone.
    EXPECT_EQ(d.Received(2), (std::vector<Bytes>{Text("abc", 64, 0, false),
                                                 Text(std::string(64, 'z'), 64, 0, false)}));
}

// --- report IDs ---------------------------------------------------------------

// A board that numbers its reports, input 1 and output 2: the lengths count
// the ID, the output's ID is known, and each report goes both ways with its
// ID in byte 0.
TEST_F(PlatformContract, NumberedReportsGoBothWaysWithTheirIds)
{
    const std::u16string path = Plug({63, 63, 1, 2});
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(d.StartReading());
    hid::Handle* r = Open(path, hid::Access::Read);
    hid::Handle* w = Open(path, hid::Access::Write);
    ASSERT_TRUE(r && w);

    hid::ReportLengths lengths;
    ASSERT_TRUE(p.GetReportLengths(w, lengths));
    EXPECT_EQ(lengths.input, 64);
    EXPECT_EQ(lengths.output, 64);
    EXPECT_EQ(lengths.outputReportId, 2);

    ASSERT_TRUE(d.Send(Bytes{'h', 'i'}));
    Bytes got;
    EXPECT_EQ(Read(r, got, 64), 64);
    EXPECT_EQ(got, Text("hi", 63, 1));

    const Bytes out = Text("ok", 63, 2);
    EXPECT_EQ(p.Write(w, out.data(), out.size()), 64);
    EXPECT_EQ(d.Received(1), std::vector<Bytes>{out});
}

// --- a refused open -------------------------------------------------------------

// Refused for want of permission: PermissionDenied, both ways; the
// platform's facts name a way out; once allowed, the board opens.
TEST_F(PlatformContract, ARefusedOpenSaysPermissionAndTheFactsNameAWayOut)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    hid::OpenError ofRead = hid::OpenError::None, ofWrite = hid::OpenError::None;
    hid::Handle* r = nullptr;
    hid::Handle* w = nullptr;
    const std::string cannot = d.WhileRefused([&] {
        r = p.Open(path, hid::Access::Read, &ofRead);
        w = p.Open(path, hid::Access::Write, &ofWrite);
    });
    if (!cannot.empty()) GTEST_SKIP() << cannot;
    p.Close(r);
    p.Close(w);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(w, nullptr);
    EXPECT_STREQ(Name(ofRead), "PermissionDenied");
    EXPECT_STREQ(Name(ofWrite), "PermissionDenied");

    const hid::AccessFacts facts = p.GetAccessFacts();
    EXPECT_TRUE(!facts.ruleFile.empty() || facts.refusedWhileHeld)
        << "a refusal the console could explain with nothing";

    EXPECT_TRUE(Open(path, hid::Access::Read));
    EXPECT_TRUE(Open(path, hid::Access::Write));
}

// --- busy -----------------------------------------------------------------------

// Another program holds the board, sharing it with no one. A system that
// shares boards anyway opens it; one that does not refuses as HeldByOther,
// or as PermissionDenied where its facts say that it refuses so. Either
// way the board opens once the other lets go.
TEST_F(PlatformContract, ABoardHeldByAnotherOpensOrIsNamedHeld)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    const std::string cannot = d.Hold();
    if (!cannot.empty()) GTEST_SKIP() << cannot;
    const hid::AccessFacts facts = p.GetAccessFacts();
    for (hid::Access access : {hid::Access::Read, hid::Access::Write}) {
        hid::OpenError why = hid::OpenError::None;
        hid::Handle* h = p.Open(path, access, &why);
        std::printf("open for %s while held: %s\n",
                    access == hid::Access::Read ? "reading" : "writing",
                    h ? "opened (the system shares the board)" : Name(why));
        p.Close(h);
        if (h) continue;
        EXPECT_TRUE(why == hid::OpenError::HeldByOther ||
                    (why == hid::OpenError::PermissionDenied && facts.refusedWhileHeld))
            << Name(why);
    }
    d.Release();
    EXPECT_TRUE(Open(path, hid::Access::Read));
    EXPECT_TRUE(Open(path, hid::Access::Write));
}

}  // namespace
}  // namespace platform_contract
