// The checking thread against a scripted POP3 server of our own: the dialogue, the status
// codes, the waits, check-now, settings hand-over and stopping.
#include "mail/account.h"
#include "mail/account_list.h"
#include "mail/watched_account.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(CheckingThread, ListingCountsAnnouncesOnceAndCheckNowRepeats) {
    ScriptedMailbox box;
    box.SetUidls({"a1", "b2", "c3"});
    ScriptedPop3Server server(std::ref(box));
    Watched w(server.Port(), 100000, 1000); // the long wait never ends by itself here
    w.Account.Start();
    w.Account.Start(); // a second start while running does nothing
    ASSERT_TRUE(w.Sink.WaitFor(1));
    EXPECT_EQ(w.Sink.SeenStatuses()[0], StatusOk);
    EXPECT_EQ(w.Line(), "3 / 3");
    EXPECT_EQ(w.Sink.Message(), 0x8000u);
    EXPECT_EQ(w.Account.TakeNewMail(), 1);

    box.SetUidls({"a1", "b2", "c3", "d4"});
    w.Account.RequestCheckNow();
    ASSERT_TRUE(w.Sink.WaitFor(2));
    EXPECT_EQ(w.Line(), "4 / 4");
    EXPECT_EQ(w.Account.TakeNewMail(), 1); // only d4 is new, and it is announced
    EXPECT_EQ(w.Account.CheckNow.load(), 0);

    w.Account.RequestCheckNow();
    ASSERT_TRUE(w.Sink.WaitFor(3));
    EXPECT_EQ(w.Account.TakeNewMail(), 0); // nothing new since
    EXPECT_EQ(server.Connections(), 3);
    EXPECT_EQ(box.Logins(), 3);
    EXPECT_EQ(w.Sink.Count(), 3);
}

TEST(CheckingThread, FailuresGiveTheirStatusAndRetry) {
    struct Case {
        const char* Name;
        std::function<void(Conn&)> Script;
        int Status;
        const char* Line;
        int StartTls = 0; // the account has used STARTTLS before
    };
    const std::vector<Case> cases = {
        {"refused password",
         [](Conn& c) {
             std::string l;
             c.Send("+OK\r\n") && c.ReadLine(l) && c.Send("+OK\r\n") && c.ReadLine(l) &&
                 c.Send("-ERR invalid password\r\n");
         },
         StatusLoginFailed, "Bad username/password"},
        {"greeting refused", [](Conn& c) { c.Send("-ERR go away\r\n"); }, StatusConnectFailed,
         "Failed to connect to that host/"},
        {"silent after accepting", [](Conn& c) { c.Stall(5000); }, StatusConnectFailed,
         "Failed to connect to that host/"},
        {"login limit",
         [](Conn& c) {
             std::string l;
             c.Send("+OK\r\n") && c.ReadLine(l) && c.Send("+OK\r\n") && c.ReadLine(l) &&
                 c.Send("+OK\r\n") && c.ReadLine(l) &&
                 c.Send("-ERR Exceeded the login limit\r\n", 1);
         },
         StatusLimitExceeded, "Server Limit Exceeded"},
        {"dropped in the listing",
         [](Conn& c) {
             std::string l;
             c.Send("+OK\r\n") && c.ReadLine(l) && c.Send("+OK\r\n") && c.ReadLine(l) &&
                 c.Send("+OK\r\n") && c.ReadLine(l) && c.Send("+OK\r\n1 a\r\n2 b");
         },
         StatusProtocolError, "Protocol Error"},
        {"stalled in the listing",
         [](Conn& c) {
             std::string l;
             c.Send("+OK\r\n") && c.ReadLine(l) && c.Send("+OK\r\n") && c.ReadLine(l) &&
                 c.Send("+OK\r\n") && c.ReadLine(l) && c.Send("+OK\r\n1 a\r\n");
             c.Stall(5000);
         },
         StatusProtocolError, "Protocol Error"},
        {"encryption no longer offered",
         [](Conn& c) {
             c.CapaReply = "+OK\r\nUIDL\r\n.\r\n"; // no STLS, as when someone removed it
             std::string l;
             if (c.Send("+OK\r\n") && c.ReadLine(l, 2000))
                 c.Send("-ERR that was a password to a stranger\r\n");
         },
         StatusUnencrypted, "Encryption unavailable", 1},
        {"gone after the greeting, encryption required",
         [](Conn& c) {
             c.CapaReply.clear();
             std::string l;
             c.Send("+OK\r\n") && c.ReadLine(l); // CAPA, then the server is gone
         },
         StatusConnectFailed, "Failed to connect to that host/", 1},
    };
    for (const Case& k : cases) {
        ScriptedPop3Server server(k.Script);
        Watched w(server.Port(), 100000);
        CGServerSettings settings = w.Account.CopySettings();
        settings.StartTls = k.StartTls;
        w.Account.ApplySettings(settings);
        w.Account.Start();
        const bool shortWait = k.Status == StatusConnectFailed || k.Status == StatusLoginFailed;
        // After a failed connection or login the account tries again after five ticks.
        ASSERT_TRUE(w.Sink.WaitFor(shortWait ? 2 : 1)) << k.Name;
        EXPECT_EQ(w.Sink.SeenStatuses()[0], k.Status) << k.Name;
        if (!shortWait)
            EXPECT_EQ(w.Line(), k.Line) << k.Name;
        else
            EXPECT_EQ(StatusLine(k.Status, 0, 0), k.Line) << k.Name;
        w.Account.Stop();
    }
}

TEST(CheckingThread, AFailedSwitchToStartTlsSendsNoPasswordUntilTheUserChoosesPlain) {
    // A reset or junk after the server's consent to STLS is all it takes an attacker to get
    // a plain login out of a client that falls back by itself.
    ScriptedMailbox box;
    box.SetUidls({"a"});
    std::atomic<int> connections{0};
    ScriptedPop3Server server([&](Conn& c) {
        if (connections++ % 2 == 1)
            return box(c); // the plain connection after the failed one
        c.CapaReply = "+OK\r\nSTLS\r\n.\r\n";
        std::string l;
        if (c.Send("+OK\r\n") && c.ReadLine(l) && l == "STLS")
            c.Send("+OK\r\nthis is no handshake\r\n");
    });
    Watched w(server.Port(), 100000);
    w.Account.Start();
    ASSERT_TRUE(w.Sink.WaitFor(1));
    EXPECT_EQ(w.Sink.SeenStatuses()[0], StatusUnencrypted);
    EXPECT_EQ(box.Logins(), 0);
    EXPECT_EQ(connections.load(), 1);

    CGServerSettings chosen = w.Account.CopySettings();
    chosen.PlainLogin = 1; // said in the account dialog after Check explained
    w.Account.ReplaceEditedSettings(chosen, true);
    w.Account.RequestCheckNow();
    ASSERT_TRUE(w.Sink.WaitFor(2));
    EXPECT_EQ(w.Sink.SeenStatuses()[1], StatusOk);
    EXPECT_EQ(box.Logins(), 1);
    EXPECT_EQ(w.Account.CopySettings().StartTls, 0);
    w.Account.Stop();
}

// Logs "user" in and answers UIDL: first with a listing of a and b, then, once Endless is
// set, with a listing far past the bound, until the client goes.
struct EndlessAfterOneListing {
    std::atomic<bool> Endless{false};
    std::atomic<int> ClosedByClient{0};

    void operator()(Conn& c) {
        std::string l;
        if (!(c.Send("+OK\r\n") && c.ReadLine(l) && c.Send("+OK\r\n") && c.ReadLine(l) &&
              c.Send("+OK\r\n") && c.ReadLine(l)))
            return;
        if (!Endless) {
            c.Send("+OK\r\n1 a\r\n2 b\r\n.\r\n");
            c.ReadLine(l, 2000);
            return;
        }
        std::string lines;
        for (int i = 0; i < 8192; ++i)
            lines += "1 x\r\n";
        if (!c.Send("+OK\r\n"))
            return;
        // Twice the bound, so that a client without one ends the test rather than the memory.
        for (std::size_t sent = 0; sent < 2 * CGPOP3Session::MaxListingBytes;
             sent += lines.size()) {
            if (!c.Send(lines)) {
                ++ClosedByClient;
                return;
            }
        }
    }
};

TEST(CheckingThread, AListingPastTheBoundIsAProtocolErrorThatKeepsTheLastGood) {
    EndlessAfterOneListing script;
    ScriptedPop3Server server(std::ref(script));
    Watched w(server.Port(), 1, 200); // long wait 12 s, short wait 1 s
    w.Account.Start();
    ASSERT_TRUE(w.Sink.WaitFor(1));
    ASSERT_EQ(w.Sink.SeenStatuses()[0], StatusOk);
    w.Account.Session.MarkAllSeen();

    script.Endless = true;
    w.Account.RequestCheckNow();
    ASSERT_TRUE(w.Sink.WaitFor(2, 90000)); // 64 MiB in 1 KiB reads, slow under sanitizers
    const auto failedAt = std::chrono::steady_clock::now();
    EXPECT_EQ(w.Sink.SeenStatuses()[1], StatusProtocolError);
    EXPECT_EQ(w.Line(), "Protocol Error");
    // The client gave up and closed; what the user saw and marked stays.
    for (int i = 0; i < 500 && script.ClosedByClient == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(script.ClosedByClient.load(), 1);
    EXPECT_EQ(w.Account.Session.CopyCurrentUidls().Count(), 2u);
    EXPECT_EQ(w.Account.Session.CopySeenUidls().Count(), 2u);
    EXPECT_EQ(w.Account.MessageCount(), 2);
    EXPECT_EQ(w.Account.UnreadCount(), 0);
    // The next attempt waits the account's interval, not the five ticks after a failure.
    std::this_thread::sleep_until(failedAt + std::chrono::milliseconds(2500));
    EXPECT_EQ(w.Sink.Count(), 2);
    EXPECT_EQ(server.Connections(), 2);
}

// An account whose first attempt throws, as running out of memory in a check would, after it
// has opened its connection.
class ThrowingOnce : public CGAccount {
public:
    using CGAccount::CGAccount;
    ~ThrowingOnce() override { Stop(); } // before this class's override goes

protected:
    int CheckOnce(const CGServerSettings& s) override {
        if (Throws.exchange(0) == 1) {
            Session.Connect(s.Server.Get(), s.Port, s.UseSSL);
            throw std::bad_alloc();
        }
        return CGAccount::CheckOnce(s);
    }

private:
    std::atomic<int> Throws{1};
};

TEST(CheckingThread, AnExceptionFailsItsAttemptAndTheThreadGoesOn) {
    ScriptedMailbox box;
    box.SetUidls({"a"});
    ScriptedPop3Server server(std::ref(box));
    CountingSink sink;
    ThrowingOnce account(0x8000);
    account.ApplySettings(ScriptedServerAccount(server.Port(), "secret", 1));
    account.TickMilliseconds = 20; // long wait 1.2 s
    sink.StatusSource = &account.Status;
    account.NotifySink = &sink;
    account.Start();
    ASSERT_TRUE(sink.WaitFor(2, 10000));
    EXPECT_EQ(sink.SeenStatuses()[0], StatusProtocolError);
    EXPECT_EQ(sink.SeenStatuses()[1], StatusOk);
    EXPECT_EQ(account.MessageCount(), 1);
    EXPECT_EQ(server.Connections(), 2);
}

TEST(CheckingThread, UnreachableHostAndEmptyServerFailToConnect) {
    std::uint16_t port = 0;
    {
        ScriptedPop3Server closed([](Conn&) {});
        port = closed.Port();
    } // nothing listens there any more
    for (const char* server : {"127.0.0.1", "", "no-such-host.invalid"}) {
        Watched w(port, 1);
        CGServerSettings s = w.Account.CopySettings();
        s.Server.Assign(server);
        w.Account.ApplySettings(s);
        w.Account.Start();
        ASSERT_TRUE(w.Sink.WaitFor(1)) << server;
        EXPECT_EQ(w.Sink.SeenStatuses()[0], StatusConnectFailed) << server;
    }
}

TEST(CheckingThread, CheckNowDuringTheShortWaitEndsTheNextLongWait) {
    ScriptedMailbox box;
    box.SetUidls({"x"});
    std::atomic<int> connections{0};
    ScriptedPop3Server server([&](Conn& c) {
        if (connections++ == 0)
            c.Send("-ERR not yet\r\n"); // a failed connection
        else
            box(c);
    });
    Watched w(server.Port(), 100000, 200);
    w.Account.Start();
    ASSERT_TRUE(w.Sink.WaitFor(1));
    EXPECT_EQ(w.Sink.SeenStatuses()[0], StatusConnectFailed);
    // The five-tick wait after a failed connection is sat out; the check-now asked during it
    // is kept for the long wait after the next attempt, which it ends at once.
    w.Account.RequestCheckNow();
    ASSERT_TRUE(w.Sink.WaitFor(3));
    const std::vector<int> statuses = w.Sink.SeenStatuses();
    EXPECT_EQ(statuses[1], StatusOk);
    EXPECT_EQ(statuses[2], StatusOk);
    EXPECT_EQ(box.Quits(), 2); // a completed listing ends with QUIT
}

// Waits until the server has accepted n connections.
void AwaitConnections(const ScriptedPop3Server& server, int n) {
    for (int i = 0; i < 2000 && server.Connections() < n; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

TEST(CheckingThread, AfterAWakeFailedConnectionsKeepTheLineQuietlyWhileTheGraceLasts) {
    // The network after a resume: the second to fourth connections fail slowly, as while
    // Wi-Fi reconnects; then the server is back with a new message.
    ScriptedMailbox box;
    box.SetUidls({"a", "b"});
    std::atomic<int> served{0};
    ScriptedPop3Server server([&](Conn& c) {
        const int n = ++served;
        if (n >= 2 && n <= 4) {
            c.Stall(300);
            c.Send("-ERR not yet\r\n");
            return;
        }
        box(c);
    });
    Watched w(server.Port(), 100000);
    w.Account.Start();
    ASSERT_TRUE(w.Sink.WaitFor(1));
    EXPECT_EQ(w.Line(), "2 / 2");

    // A check that began before the resume shows "Checking..."; failing in the grace, it puts
    // the line back and says so.
    w.Account.RequestCheckNow();
    AwaitConnections(server, 2);
    EXPECT_EQ(w.Line(), "Checking...");
    w.Account.RequestWakeCheck(500);
    ASSERT_TRUE(w.Sink.WaitFor(2));
    EXPECT_EQ(w.Sink.SeenStatuses()[1], StatusOk);
    EXPECT_EQ(w.Sink.SeenWaits()[1], 5);
    // The retries run without "Checking..." and tell nobody of their failures.
    AwaitConnections(server, 3);
    EXPECT_EQ(w.Line(), "2 / 2");
    box.SetUidls({"a", "b", "c"});
    ASSERT_TRUE(w.Sink.WaitFor(3));
    EXPECT_EQ(w.Sink.SeenStatuses(), (std::vector<int>{StatusOk, StatusOk, StatusOk}));
    EXPECT_EQ(w.Line(), "3 / 3");
    EXPECT_EQ(server.Connections(), 5); // the wake check was answered: the long wait follows
}

TEST(CheckingThread, AFailedConnectionShowsOnceTheGraceHasRunOut) {
    ScriptedPop3Server server([](Conn& c) { c.Send("-ERR not yet\r\n"); });
    Watched w(server.Port(), 100000);
    w.Account.RequestWakeCheck(25); // half a second
    const auto start = std::chrono::steady_clock::now();
    w.Account.Start();
    ASSERT_TRUE(w.Sink.WaitFor(1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(w.Sink.SeenStatuses()[0], StatusConnectFailed);
    EXPECT_GE(server.Connections(), 3); // retried every five ticks meanwhile
}

TEST(CheckingThread, StoppingEndsWaitsAndBlockedStepsAtOnce) {
    ScriptedMailbox box;
    box.SetUidls({"x"});
    ScriptedPop3Server fast(std::ref(box));
    ScriptedPop3Server stalling([](Conn& c) { c.Stall(60000); });
    // Far below the read time-out below: a stop that waited for the read would miss it.
    const auto bound = std::chrono::milliseconds(2000);
    auto timeToStop = [](CGAccount& a) {
        const auto start = std::chrono::steady_clock::now();
        a.Stop();
        return std::chrono::steady_clock::now() - start;
    };
    {
        // Waiting for 100000 minutes.
        Watched w(fast.Port(), 100000, 1000);
        w.Account.Start();
        ASSERT_TRUE(w.Sink.WaitFor(1));
        EXPECT_LT(timeToStop(w.Account), bound);
    }
    {
        // No wait at all between checks: quit is still seen between attempts.
        Watched w(fast.Port(), 0);
        w.Account.Start();
        ASSERT_TRUE(w.Sink.WaitFor(3));
        w.Account.Stop();
        const int after = w.Sink.Count();
        EXPECT_FALSE(w.Account.IsRunning());
        EXPECT_EQ(w.Sink.Count(), after); // nothing is posted after the stop
    }
    {
        // Blocked in a read: the stop interrupts it rather than waiting for its time-out.
        Watched w(stalling.Port(), 1);
        w.Account.Session.Transport.Timeouts.ReadMs = 30000;
        w.Account.Start();
        while (stalling.Connections() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // into the read
        EXPECT_LT(timeToStop(w.Account), bound);
        EXPECT_FALSE(w.Account.IsRunning());
    }
}

// An attempt that no interrupt reaches (as a name lookup may be): it ends only when the
// test lets it.
class Unreachable : public CGAccount {
public:
    using CGAccount::CGAccount;
    static void Let() {
        std::lock_guard<std::mutex> lock(Guard);
        Go = true;
        Wake.notify_all();
    }
    static inline std::atomic<int> Inside{0};

protected:
    int CheckOnce(const CGServerSettings&) override {
        ++Inside;
        std::unique_lock<std::mutex> lock(Guard);
        Wake.wait(lock, [] { return Go; });
        return StatusOk;
    }

private:
    static inline std::mutex Guard;
    static inline std::condition_variable Wake;
    static inline bool Go = false;
};

// Left by the list on purpose, as the process end would take it.
CGAccount* LeftAtExit = nullptr;

TEST(AccountListExit, EndedThreadsGoAndABlockedOneIsLeftWithoutItsSink) {
    ScriptedMailbox box;
    box.SetUidls({"a"});
    ScriptedPop3Server server(std::ref(box));
    CountingSink sink;
    {
        CAccountList list(0x8000);
        list.StartSpacingMilliseconds = 0;
        CGAccount* checking = list.AddAccount();
        checking->ApplySettings(ScriptedServerAccount(server.Port(), "secret", 100000));
        LeftAtExit = list.Append(std::make_unique<Unreachable>(0x8000));
        list.StartAll(&sink);
        ASSERT_TRUE(sink.WaitFor(1));
        while (Unreachable::Inside == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));

        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(list.ReleaseAtExit(200), 1); // the blocked one is not waited for
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(list.Count(), 0);
    } // the list goes; the account it left behind must not go with it
    const int calls = sink.Count();
    EXPECT_TRUE(LeftAtExit->IsRunning());
    Unreachable::Let();
    while (LeftAtExit->IsRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(sink.Count(), calls); // its attempt ended without reaching the sink
    // What the process end would take: whole, with a thread that is done.
    std::unique_ptr<CGAccount> reclaimed(LeftAtExit);
}

} // namespace
