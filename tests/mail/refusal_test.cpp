// How the checking thread waits after refused logins and a server's "not now": the back-off,
// the response codes and what starts the refusals over.
#include "mail/watched_account.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

TEST(CheckingThread, RefusedLoginsBackOffAndAServersNotNowIsHeeded) {
    const std::string codes = "+OK\r\nRESP-CODES\r\n";
    const struct {
        const char* Name;
        std::string Capabilities, Refusal;
        int Status;
        std::vector<long long> Waits; // in ticks, after each attempt; the interval is 60
    } cases[] = {
        {"wrong password", "", "-ERR invalid password", StatusLoginFailed, {5, 10, 20, 40, 60, 60}},
        {"codes not announced", "", "-ERR [IN-USE] locked", StatusLoginFailed, {5, 10}},
        {"auth", codes + ".\r\n", "-ERR [AUTH] no", StatusLoginFailed, {5, 10}},
        {"sys/perm", codes + ".\r\n", "-ERR [SYS/PERM] gone", StatusLoginFailed, {5}},
        {"in use", codes + ".\r\n", "-ERR [IN-USE] Mailbox locked", StatusBusy, {5, 10, 20}},
        {"sys/temp",
         "+OK\r\nAUTH-RESP-CODE\r\n.\r\n",
         "-ERR [SYS/TEMP] later",
         StatusBusy,
         {5, 10}},
        {"login delay announced",
         codes + "LOGIN-DELAY 900\r\n.\r\n",
         "-ERR [LOGIN-DELAY] Logins must be at least 1 minute apart",
         StatusLimitExceeded,
         {900, 900}},
        {"login delay below the interval",
         codes + "LOGIN-DELAY 30 USER\r\n.\r\n",
         "-ERR [login-delay] wait",
         StatusLimitExceeded,
         {60}},
    };
    for (const auto& k : cases) {
        ScriptedMailbox box;
        box.Capabilities = k.Capabilities;
        box.Refusal = k.Refusal;
        ScriptedPop3Server server(std::ref(box));
        Watched w(server.Port(), 1, 1, "wrong");
        w.Account.Start();
        const int n = static_cast<int>(k.Waits.size());
        ASSERT_TRUE(w.Sink.WaitFor(n)) << k.Name;
        w.Account.Stop();
        const std::vector<long long> waits = w.Sink.SeenWaits();
        EXPECT_EQ(std::vector<long long>(waits.begin(), waits.begin() + n), k.Waits) << k.Name;
        EXPECT_EQ(w.Sink.SeenStatuses()[0], k.Status) << k.Name;
    }
    EXPECT_EQ(StatusLine(StatusBusy, 0, 0), "Server busy, will retry");
}

TEST(RetryPolicy, ALoginOrAnEditStartsTheRefusalsOver) {
    CGRetryPolicy p;
    std::vector<long long> waits;
    for (int status :
         {StatusLoginFailed, StatusConnectFailed, StatusBusy, StatusUntrusted, StatusLoginFailed})
        waits.push_back(p.After(status, 5, 0, 0));
    // A failed connection or a certificate says nothing of the password: the sequence goes on.
    EXPECT_EQ(waits, (std::vector<long long>{5, 5, 10, 300, 20}));
    EXPECT_EQ(p.After(StatusOk, 5, 1, 0), 300);
    EXPECT_EQ(p.After(StatusLoginFailed, 5, 0, 0), 5);
    EXPECT_EQ(p.After(StatusLoginFailed, 5, 0, 0), 10);
    p.StartOver();
    EXPECT_EQ(p.After(StatusLoginFailed, 5, 0, 0), 5);
    // "Exceeded the login limit" after a login taken: the interval, and the refusals end.
    EXPECT_EQ(p.After(StatusLimitExceeded, 5, 1, 0), 300);
    EXPECT_EQ(p.After(StatusLoginFailed, 0, 0, 0), 5); // checks back to back: never below 5
    EXPECT_EQ(p.After(StatusLoginFailed, 0, 0, 0), 5);
}

TEST(CheckingThread, CheckNowOrAnEditStartsTheRefusalsOver) {
    ScriptedMailbox box;
    ScriptedPop3Server server(std::ref(box));
    Watched w(server.Port(), 1, 1, "wrong");
    w.Account.Start();
    // Once the waits are at the interval they stay there, unless something starts the
    // refusals over: then a wait of five ticks follows within a few attempts.
    auto startsOver = [&](const std::function<void()>& action) {
        const std::size_t from = w.Sink.SeenWaits().size();
        action();
        for (std::size_t n = from + 1; n <= from + 10; ++n) {
            if (!w.Sink.WaitFor(static_cast<int>(n)))
                return false;
            if (w.Sink.SeenWaits()[n - 1] == 5)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(w.Sink.WaitFor(6)); // 5, 10, 20, 40, 60, 60
    EXPECT_TRUE(startsOver([&] { w.Account.RequestCheckNow(); }));
    ASSERT_TRUE(w.Sink.WaitFor(w.Sink.Count() + 6));
    EXPECT_TRUE(
        startsOver([&] { w.Account.ReplaceEditedSettings(w.Account.CopySettings(), false); }));
    ASSERT_TRUE(w.Sink.WaitFor(w.Sink.Count() + 6));
    EXPECT_FALSE(startsOver([] {}));
    // The system's check after a resume or a network change keeps the back-off.
    EXPECT_FALSE(startsOver([&] { w.Account.RequestWakeCheck(0); }));
    w.Account.Stop();
}

} // namespace
