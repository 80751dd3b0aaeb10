// Eight accounts checking as fast as they may while the user-interface side marks mail read,
// takes the new-mail flags, edits settings, saves and removes and adds accounts, for 30
// seconds. Run under ThreadSanitizer as well (label threads).
#include "config/config_seams.h"
#include "config/settings.h"
#include "mail/account_list.h"
#include "support/counting_sink.h"
#include "support/pop3_script_server.h"
#include "support/scoped_seams.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The server's mailbox: UIDLs are never reused once a message has left.
class ChangingMailbox {
public:
    explicit ChangingMailbox(ScriptedMailbox& box) : Box(box) { Grow(50); }
    void Grow(int n) {
        for (int i = 0; i < n; ++i)
            Current.push_back("uidl-" + std::to_string(Next++));
        Box.SetUidls(Current);
    }
    void DropOldest(std::size_t n) {
        Current.erase(Current.begin(),
                      Current.begin() + static_cast<long>(std::min(n, Current.size())));
        Box.SetUidls(Current);
    }
    bool Known(const std::string& uidl) const {
        return uidl.rfind("uidl-", 0) == 0 && std::stoi(uidl.substr(5)) < Next;
    }

private:
    ScriptedMailbox& Box;
    std::vector<std::string> Current;
    int Next = 0;
};

struct Tracked {
    CGAccount* Account;
    std::set<std::string> Marked; // every UIDL this account had listed when marked read
    std::string User;             // each account has a name, and so a seen file, of its own
};

CGServerSettings Settings(std::uint16_t port, const char* password, const std::string& user) {
    CGServerSettings s = ScriptedServerAccount(port, password, 0); // check again at once
    s.Username.Assign(user.c_str());
    return s;
}

std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST(Stress, NoMarkAsReadIsLostAndEverySavedListIsWhole) {
    ScriptedMailbox box;
    box.User = "";
    ChangingMailbox mailbox(box);
    ScriptedPop3Server server(std::ref(box));
    TempDir dir;
    ScopedSeams config(ConfigSeams);
    config->DataFolder = dir.Path();
    std::string ini;
    MakeDataPath("ini", "varnocle", ini);

    CountingSink sink;
    CAccountList list(0x8000);
    list.StartSpacingMilliseconds = 0;
    std::vector<Tracked> tracked;
    int serial = 0;
    auto add = [&] {
        CGAccount* a = list.AddAccount();
        a->TickMilliseconds = 1;
        const std::string user = "acct" + std::to_string(serial++);
        a->ApplySettings(Settings(server.Port(), "secret", user));
        a->Session.Transport.Timeouts.ReadMs = 5000;
        tracked.push_back({a, {}, user});
    };
    for (int i = 0; i < 8; ++i)
        add();
    list.StartAll(&sink);

    std::mt19937 random(12345);
    int saves = 0;
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < end) {
        const int action = static_cast<int>(random() % 100);
        if (action < 30) {
            for (Tracked& t : tracked) {
                t.Account->Session.CopyCurrentUidls().ForEach(
                    [&](std::string_view u) { t.Marked.emplace(u); });
                t.Account->Session.MarkAllSeen();
            }
        } else if (action < 45) {
            for (Tracked& t : tracked)
                t.Account->TakeNewMail();
            list.UpdateStatusTexts();
        } else if (action < 55) {
            mailbox.Grow(static_cast<int>(random() % 5));
            if (random() % 3 == 0)
                mailbox.DropOldest(random() % 4);
        } else if (action < 65) {
            // A wrong password now and then: the account fails and retries.
            Tracked& t = tracked[random() % tracked.size()];
            t.Account->ApplySettings(
                Settings(server.Port(), random() % 4 == 0 ? "wrong" : "secret", t.User));
        } else if (action < 75) {
            ASSERT_EQ(list.Save(ini.c_str()), 1);
            ++saves; // from the first save on, each account's seen file is the one of its name
            for (const Tracked& t : tracked)
                for (const std::string& line : FileLines(t.Account->UidlFilePath))
                    ASSERT_TRUE(mailbox.Known(line)) << "torn line '" << line << "'";
        } else if (action < 78 && tracked.size() > 4) {
            const std::size_t i = random() % tracked.size();
            list.RemoveAccount(tracked[i].Account);
            tracked.erase(tracked.begin() + static_cast<long>(i));
        } else if (action < 81 && tracked.size() < 10) {
            add();
            list.StartAll(&sink);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 5));
        }
    }
    for (Tracked& t : tracked)
        t.Account->ApplySettings(Settings(server.Port(), "secret", t.User));

    // Quiet the server, let every account finish a listing of the final mailbox, then
    // compare: what was marked read and is still listed must not count as unread.
    const int before = sink.Count();
    ASSERT_TRUE(sink.WaitFor(before + 4 * static_cast<int>(tracked.size()), 60000));
    for (Tracked& t : tracked)
        t.Account->RequestQuit();
    for (Tracked& t : tracked)
        t.Account->Stop();
    EXPECT_GT(saves, 10);
    std::printf("notifications %d, saves %d, accounts at the end %zu\n", sink.Count(), saves,
                tracked.size());
    ASSERT_EQ(list.Save(ini.c_str()), 1);
    for (Tracked& t : tracked) {
        const CGUidlList seen = t.Account->Session.CopySeenUidls();
        const CGUidlList current = t.Account->Session.CopyCurrentUidls();
        int unread = 0;
        current.ForEach([&](std::string_view u) {
            if (!seen.Contains(u)) {
                ++unread;
                EXPECT_EQ(t.Marked.count(std::string(u)), 0u) << "lost mark-as-read: " << u;
            }
        });
        EXPECT_EQ(unread, t.Account->UnreadCount());
        // The file written last holds exactly the seen list.
        std::set<std::string> inFile;
        for (const std::string& line : FileLines(t.Account->UidlFilePath))
            inFile.insert(line);
        std::set<std::string> inMemory;
        seen.ForEach([&](std::string_view u) { inMemory.emplace(u); });
        EXPECT_EQ(inFile, inMemory);
    }
}

} // namespace
