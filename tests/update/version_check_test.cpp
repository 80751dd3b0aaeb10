// The version check against a real HTTP server on port 80 (tests/update/version_server.py),
// run by run_in_netns.py inside a private network namespace. Each case is a host name; the
// server picks its reply by the Host header.
#include "update/checker_thread.h"
#include "update/socket_http.h"
#include "update/version_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <vector>

namespace {

const char Page[] = "https://example.invalid/get";

// Runs whole checks on their own thread, as the program does, with a local version of
// 1.1.2.0 and recorded questions.
class VersionCheck : public ::testing::Test {
protected:
    void SetUp() override {
        const char* flag = std::getenv("VARNOCLE_PRIVATE_NETWORK");
        if (flag == nullptr || std::strcmp(flag, "1") != 0)
            GTEST_SKIP() << "needs run_in_netns.py --http";
    }

    CGUpdateEnvironment Environment(const std::string& host) {
        CGUpdateEnvironment e;
        e.Host = host;
        e.DownloadPage = Page;
        e.LocalVersion = [](int& key) {
            key = VersionKey(1, 1, 2, 0);
            return 1;
        };
        e.AskYesNo = [this](const char* text, const char* caption) {
            std::lock_guard<std::mutex> lock(Guard);
            Questions.push_back(std::string(caption) + "|" + text);
            return Answer;
        };
        e.OpenPage = [this](const char* address) {
            std::lock_guard<std::mutex> lock(Guard);
            Opened.push_back(address);
        };
        return e;
    }

    // The questions one whole check asked.
    std::vector<std::string> Check(const std::string& host) {
        Questions.clear();
        Opened.clear();
        CCheckerThread check(Environment(host));
        check.Start();
        check.Stop();
        return Questions;
    }

    std::mutex Guard;
    int Answer = 0;
    std::vector<std::string> Questions;
    std::vector<std::string> Opened;
};

using Asked = std::vector<std::string>;
const Asked NewerQuestion{"varnocle|New version 1.1r3 is available, Get it?"};

} // namespace

TEST_F(VersionCheck, NewerVersionOpensThePageOnYesOnly) {
    Answer = 1;
    EXPECT_EQ(Check("newer.test"), NewerQuestion);
    EXPECT_EQ(Opened, std::vector<std::string>{Page});
    Answer = 0;
    EXPECT_EQ(Check("newer.test"), NewerQuestion) << "asked again at the next start";
    EXPECT_TRUE(Opened.empty());
}

TEST_F(VersionCheck, RepliesThatCount) {
    EXPECT_EQ(Check("same.test"), Asked{}) << "not newer";
    EXPECT_EQ(Check("notfound.test"), NewerQuestion) << "the status is not looked at";
    EXPECT_EQ(Check("lowercase.test"), NewerQuestion);
    EXPECT_EQ(Check("lfonly.test"), NewerQuestion);
    EXPECT_EQ(Check("longline.test"), NewerQuestion);
    EXPECT_EQ(Check("blanks.test"), NewerQuestion) << "1, 1, 3 and a line break";
    EXPECT_EQ(Check("split.test"), NewerQuestion) << "a body in two pieces";
}

TEST_F(VersionCheck, RepliesThatEndTheCheckSilently) {
    for (const char* host :
         {"nolength.test", "zerolength.test", "length300.test", "negative.test", "twofields.test",
          "fourfields.test", "minusone.test", "trailingcomma.test", "shortclose.test",
          "shortstall.test", "endless.test"})
        EXPECT_EQ(Check(host), Asked{}) << host;
}

TEST_F(VersionCheck, NoServerOrNoNameEndsTheCheckSilently) {
    EXPECT_EQ(Check("noserver.test"), Asked{});
    EXPECT_EQ(Check("nowhere.invalid"), Asked{});
}

TEST_F(VersionCheck, FetchLeavesTheBodyAndNoConnection) {
    CGSocketHTTP http("newer.test");
    ASSERT_EQ(http.FetchVersionFile(), 1);
    EXPECT_STREQ(http.Buffer, "1,1,3");
    EXPECT_EQ(http.IsOpen(), 0);

    CGSocketHTTP trickle("trickle.test");
    trickle.ReplyTimeLimitMs = 1000;
    EXPECT_EQ(trickle.FetchVersionFile(), 0);
    EXPECT_EQ(trickle.IsOpen(), 0);
}

TEST_F(VersionCheck, StartReturnsAtOnceAndStopWaitsForTheAnswer) {
    std::promise<void> asked;
    std::promise<int> answer;
    std::shared_future<int> answered = answer.get_future().share();
    CGUpdateEnvironment e = Environment("newer.test");
    e.AskYesNo = [&](const char*, const char*) {
        asked.set_value();
        // Bounded, so a Start() that ran the check itself would fail rather than hang.
        if (answered.wait_for(std::chrono::seconds(30)) != std::future_status::ready)
            return -1;
        return answered.get();
    };
    CCheckerThread check(e);
    check.Start();
    // The question is still open: the check runs on its own thread.
    EXPECT_TRUE(check.IsRunning());
    ASSERT_EQ(asked.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(check.IsRunning()) << "the check waits for its answer";
    answer.set_value(0);
    check.Stop();
    EXPECT_FALSE(check.IsRunning());
}
