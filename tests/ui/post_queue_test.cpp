// The queue every window hands posted functions over in: who is told to
// wake the window, the order things run in, and what happens to functions
// once the window is gone.
#include "post_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

using wsys::CPostQueue;

TEST(PostQueue, OnlyTheFirstPostSinceADrainAsksForAWake)
{
    CPostQueue q;
    std::vector<int> ran;
    EXPECT_TRUE(q.Post([&] { ran.push_back(1); }));
    EXPECT_FALSE(q.Post([&] { ran.push_back(2); }));
    EXPECT_FALSE(q.Post([&] { ran.push_back(3); }));
    EXPECT_TRUE(ran.empty()) << "nothing runs inside Post";
    EXPECT_EQ(q.Drain(), 3);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(q.Drain(), 0);
    EXPECT_TRUE(q.Post([] {}));
}

// A function posted while the queue drains waits for the next drain, and
// asks for the wake-up that brings it.
TEST(PostQueue, APostFromADrainedFunctionWaitsForTheNextDrain)
{
    CPostQueue q;
    int inner = 0;
    bool asked = false;
    q.Post([&] { asked = q.Post([&] { ++inner; }); });
    EXPECT_EQ(q.Drain(), 1);
    EXPECT_TRUE(asked);
    EXPECT_EQ(inner, 0);
    EXPECT_EQ(q.Drain(), 1);
    EXPECT_EQ(inner, 1);
}

// A wake-up that could not be given (a full message queue) is asked for
// again by the next post, and a backstop sees what waits unannounced.
TEST(PostQueue, ALostWakeIsAskedForAgain)
{
    CPostQueue q;
    EXPECT_TRUE(q.Post([] {}));
    EXPECT_FALSE(q.Unannounced());
    q.WakeLost();
    EXPECT_TRUE(q.Unannounced());
    EXPECT_TRUE(q.Post([] {}));
    EXPECT_FALSE(q.Unannounced());
    q.WakeLost();
    EXPECT_EQ(q.Drain(), 2);
    EXPECT_FALSE(q.Unannounced()) << "nothing waits";
}

TEST(PostQueue, OnceClosedWhatWaitsAndWhatComesIsDroppedAndFreed)
{
    CPostQueue q;
    auto token = std::make_shared<int>(0);
    int runs = 0;
    q.Post([token, &runs] { ++runs; });
    q.Post([token, &runs] { ++runs; });
    q.Close();
    EXPECT_EQ(token.use_count(), 1);
    EXPECT_FALSE(q.Post([token, &runs] { ++runs; })) << "no wake for a window that is gone";
    EXPECT_EQ(token.use_count(), 1);
    EXPECT_EQ(q.Drain(), 0);
    EXPECT_EQ(runs, 0);
}

// A dropped function may hold the last reference to something that posts
// as it goes: it is destroyed with the queue's lock let go (under the
// lock, the post inside would wait for itself).
TEST(PostQueue, ADroppedFunctionIsDestroyedOutsideTheLock)
{
    struct PostsWhenDestroyed {
        CPostQueue* queue;
        ~PostsWhenDestroyed() { queue->Post([] {}); }
    };
    CPostQueue q;
    auto last = std::make_shared<PostsWhenDestroyed>(PostsWhenDestroyed{&q});
    q.Post([last] {});
    last.reset();
    q.Close();  // destroys the waiting function
    q.Post([keep = std::make_shared<PostsWhenDestroyed>(PostsWhenDestroyed{&q})] {});
    SUCCEED() << "neither drop waited for itself";
}

// Several threads post while the owner drains: every function runs once,
// each thread's in its order, and each drain lets at most one post ask
// for a wake-up.
TEST(PostQueue, ManyPostersOneDrainer)
{
    constexpr int kThreads = 4;
    constexpr int kPosts = 3000;
    CPostQueue q;
    std::vector<std::vector<int>> ran(kThreads);
    std::atomic<int> asks{0};
    std::atomic<int> done{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPosts; ++i) {
                if (q.Post([&ran, t, i] { ran[t].push_back(i); }))
                    ++asks;
                if (i % 64 == 0)
                    std::this_thread::yield();  // let the drainer in between
            }
            ++done;
        });
    int drains = 0;
    int total = 0;
    while (done < kThreads || total < kThreads * kPosts) {
        total += q.Drain();
        ++drains;
        std::this_thread::yield();
    }
    for (std::thread& t : posters)
        t.join();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(ran[t].size(), static_cast<std::size_t>(kPosts));
        for (int i = 0; i < kPosts; ++i)
            ASSERT_EQ(ran[t][i], i);
    }
    EXPECT_GE(asks, 1);
    EXPECT_LE(asks, drains + 1);
    std::printf("%d posts, %d drains, %d wake-ups asked for\n", kThreads * kPosts, drains,
                asks.load());
}

}  // namespace
