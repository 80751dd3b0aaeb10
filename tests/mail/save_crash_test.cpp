// A process killed at random points of a loop of seen-list saves leaves, every time, a file
// that holds one of the lists whole (or no file before the first save ended).
#include "mail/account.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Expected(const CGAccount& account) {
    std::vector<std::string> out;
    account.Session.CopySeenUidls().ForEach([&](std::string_view u) { out.emplace_back(u); });
    return out;
}

void Fill(CGAccount& account, const char* prefix, int count) {
    CGUidlList seen;
    for (int i = 0; i < count; ++i)
        seen.Push(std::string(prefix) + std::to_string(i) + std::string(40, 'x'));
    account.Session.ReplaceSeenUidls(std::move(seen));
}

TEST(SaveCrash, KilledSavesLeaveOneWholeList) {
    TempDir dir;
    const std::string path = dir.File("account.uidl");
    CGAccount small(0), large(0);
    Fill(small, "small-", 500);
    Fill(large, "large-", 5000);
    const std::vector<std::string> smallLines = Expected(small), largeLines = Expected(large);

    std::mt19937 random(2024);
    int whole = 0, none = 0;
    for (int kill = 0; kill < 200; ++kill) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                small.SaveSeenList(path);
                large.SaveSeenList(path);
            }
        }
        usleep(static_cast<useconds_t>(random() % 20000));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (!FileExists(path)) {
            ++none;
            continue;
        }
        const std::vector<std::string> lines = Lines(path);
        ASSERT_TRUE(lines == smallLines || lines == largeLines)
            << "kill " << kill << ": a file of " << lines.size() << " lines";
        ++whole;
    }
    std::printf("%d kills: %d whole lists, %d before the first save\n", whole + none, whole, none);
    EXPECT_GT(whole, 100);
}

} // namespace
