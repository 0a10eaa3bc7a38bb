// The window contract: functions other threads post to a window.
#include "window_contract_fixture.h"

#include <atomic>

namespace contract_test {

// --- functions posted from other threads ---

TEST_F(PlainWindow, PostRunsOnTheWindowsThreadInOrderAndNeverWaits)
{
    const std::thread::id uiThread = std::this_thread::get_id();
    std::vector<int> ran;
    std::atomic<bool> wrongThread{false};
    constexpr int kPosts = 2000;
    Run([&] {
        // The window's thread is busy here, not running its loop: a poster
        // that waited for it would never finish.
        std::thread poster([&] {
            for (int i = 0; i < kPosts; ++i)
                wnd->Post([&, i] {
                    if (std::this_thread::get_id() != uiThread)
                        wrongThread = true;
                    ran.push_back(i);
                });
        });
        poster.join();
        EXPECT_TRUE(ran.empty()) << "not run inside the poster's call";
        ASSERT_TRUE(d.WaitUntil([&] { return ran.size() == kPosts; }));
    });
    EXPECT_FALSE(wrongThread);
    ASSERT_EQ(ran.size(), static_cast<std::size_t>(kPosts));
    for (int i = 0; i < kPosts; ++i)
        ASSERT_EQ(ran[i], i);
}

TEST_F(PlainWindow, PostAfterTheWindowIsGoneIsDroppedAndFreed)
{
    auto token = std::make_shared<int>(0);
    std::atomic<int> runs{0};
    handler.onInit = [&] {
        // Posted, then the window ends before its loop turns: dropped.
        for (int i = 0; i < 100; ++i)
            wnd->Post([token, &runs] { ++runs; });
        wnd->EndDialog(1);
    };
    EXPECT_EQ(wnd->RunModal(), 1);
    EXPECT_EQ(token.use_count(), 1) << "every dropped function freed";

    std::thread late([&] { wnd->Post([token, &runs] { ++runs; }); });
    late.join();
    EXPECT_EQ(token.use_count(), 1);
    // Whatever wake-up is still on its way finds nothing to run.
    d.ProcessEvents();
    EXPECT_EQ(runs, 0);
}

}  // namespace contract_test
