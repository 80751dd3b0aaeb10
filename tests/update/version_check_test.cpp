// The version check against a real HTTP server on port 80 (tests/update/version_server.py),
// run by run_in_netns.py inside a private network namespace. Each case is a host name; the
// server picks its reply by the Host header.
#include "update/checker_thread.h"
#include "update/socket_http.h"
#include "update/version_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
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

    // The questions one whole check asked, once its owner answered its offer.
    std::vector<std::string> Check(const std::string& host) {
        Questions.clear();
        Opened.clear();
        CCheckerThread check(Environment(host));
        check.Start();
        check.Stop();
        check.AnswerOffer();
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

TEST_F(VersionCheck, TheCheckEndsWithoutAnAnswerAndItsOwnerAsksOnItsOwnThread) {
    struct CountingSink : CGNotifySink {
        std::atomic<int> Calls{0};
        void Notify(unsigned message) override { Calls += message == 0x8003 ? 1 : 100; }
    } sink;
    std::thread::id askedOn;
    CGUpdateEnvironment e = Environment("newer.test");
    auto record = e.AskYesNo;
    e.AskYesNo = [&](const char* text, const char* caption) {
        askedOn = std::this_thread::get_id();
        return record(text, caption);
    };
    Answer = 1;
    CCheckerThread check(e);
    check.AttachSink(&sink, 0x8003);
    check.Start();
    check.Stop(); // nobody has answered: the check has ended all the same
    EXPECT_EQ(sink.Calls.load(), 1);
    EXPECT_TRUE(Questions.empty()) << "the check asks nobody itself";
    check.AnswerOffer();
    check.AnswerOffer(); // one question per offer
    EXPECT_EQ(Questions, NewerQuestion);
    EXPECT_EQ(askedOn, std::this_thread::get_id());
    EXPECT_EQ(Opened, std::vector<std::string>{Page});
}
