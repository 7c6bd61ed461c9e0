#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Parallel.h"

using onex::platform::runShared;

namespace {

// Every task runs once, on worker 0 or 1, also when several callers share
// the one helper at the same time (the losers do all their tasks themselves).
TEST(Parallel, EveryTaskRunsExactlyOnceWhateverTheCallers) {
    constexpr std::size_t kTasks = 997;
    auto call = [&](std::vector<std::atomic<int>>& runs, std::atomic<int>& badWorker) {
        runShared(kTasks, [&](std::size_t t, int worker) {
            runs[t].fetch_add(1);
            if (worker != 0 && worker != 1) badWorker.fetch_add(1);
        });
    };
    std::vector<std::vector<std::atomic<int>>> runs;
    for (int c = 0; c < 3; ++c)
        runs.emplace_back(kTasks);
    std::atomic<int> badWorker{0};
    for (int round = 0; round < 20; ++round) {
        std::vector<std::thread> callers;
        for (int c = 1; c < 3; ++c)
            callers.emplace_back([&, c] { call(runs[c], badWorker); });
        call(runs[0], badWorker);
        for (auto& t : callers)
            t.join();
    }
    EXPECT_EQ(badWorker.load(), 0);
    for (const auto& r : runs)
        for (std::size_t t = 0; t < kTasks; ++t)
            ASSERT_EQ(r[t].load(), 20) << "task " << t;
}

TEST(Parallel, AThrowingTaskStopsTheRestAndIsRethrownToTheCaller) {
    std::atomic<int> after{0};
    EXPECT_THROW(runShared(10000,
                           [&](std::size_t t, int) {
                               if (t == 3) throw std::runtime_error("task 3");
                               // Tasks that take a moment: the throw needs
                               // microseconds to reach the handler that stops
                               // the rest, in which instant tasks would all run.
                               std::this_thread::sleep_for(std::chrono::microseconds(20));
                               if (t > 5000) after.fetch_add(1);
                           }),
                 std::runtime_error);
    EXPECT_LT(after.load(), 4999);  // not every later task ran
    // The helper is free again afterwards.
    std::atomic<int> runs{0};
    runShared(100, [&](std::size_t, int) { runs.fetch_add(1); });
    EXPECT_EQ(runs.load(), 100);
}

// A child forked after the helper started has no helper thread: its calls
// must still finish.
TEST(Parallel, AForkedChildStillFinishesItsWork) {
    runShared(8, [](std::size_t, int) {});
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::atomic<int> runs{0};
        runShared(1000, [&](std::size_t, int) { runs.fetch_add(1); });
        _exit(runs.load() == 1000 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
