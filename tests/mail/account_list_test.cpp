// Account names and status lines, the list's structure operations (no network), and names
// through the settings file and the seen files.
#include "mail/account_list.h"
#include "mail/persist_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CGServerSettings Settings(const char* user, const char* server) {
    CGServerSettings s;
    s.Username.Assign(user);
    s.Server.Assign(server);
    return s;
}

std::vector<std::string> Names(const CAccountList& list) {
    std::vector<std::string> out;
    for (const CGAccount& a : list)
        out.emplace_back(a.Name.Get() ? a.Name.Get() : "(null)");
    return out;
}

CGAccount* Named(CAccountList& list, const char* name) {
    CGAccount* a = list.AddAccount();
    a->ApplySettings(Settings(nullptr, name));
    return a;
}

TEST(AccountName, UserAndServerWithoutCommasLineEndsOrEndBlanks) {
    CGAccount a(0x8000);
    EXPECT_STREQ(a.Name.Get(), "");
    a.ApplySettings(Settings("ann", "server,one"));
    EXPECT_STREQ(a.Name.Get(), "ann - serverone");
    a.ApplySettings(Settings("", "server,one"));
    EXPECT_STREQ(a.Name.Get(), "serverone");
    a.ApplySettings(Settings(nullptr, "pop.example.com"));
    EXPECT_STREQ(a.Name.Get(), "pop.example.com");
    a.ApplySettings(Settings("a,b", ",,"));
    EXPECT_STREQ(a.Name.Get(), "ab -");
    a.ApplySettings(Settings(" \tann ", "h\r\nx\v"));
    EXPECT_STREQ(a.Name.Get(), "ann  - h  x");
}

TEST(AccountName, TakenByAnotherAccountRegardlessOfCaseAndCommas) {
    CAccountList list(0x8000);
    CGAccount* ann = list.AddAccount();
    ann->ApplySettings(Settings("Ann", "pop.x"));
    EXPECT_TRUE(list.NameTaken(AccountName(Settings("a,NN", "POP.X")), nullptr));
    EXPECT_FALSE(list.NameTaken("ann - pop.x", ann)); // the account being edited
    EXPECT_FALSE(list.NameTaken("ann - pop.y", nullptr));
}

TEST(AccountSettings, AnEditKeepsWhatTheServerTaughtUnlessTheUserDecided) {
    // The details dialog hands over what it copied when it opened; a check may have learned
    // the server's key meanwhile.
    CGAccount a(0x8000);
    CGServerSettings learned = Settings("ann", "pop.example.com");
    learned.CertPin = std::string(64, 'a');
    learned.StartTls = 1;
    learned.PlainLogin = 1;
    a.ReplaceSettings(learned);
    CGServerSettings edited = Settings("ann ", "  Pop.Example.COM. "); // the same server
    edited.CheckMinutes = 9;
    a.ReplaceEditedSettings(edited, false);
    CGServerSettings now = a.CopySettings();
    EXPECT_EQ(now.CheckMinutes, 9);
    EXPECT_EQ(now.CertPin, learned.CertPin);
    EXPECT_EQ(now.StartTls, 1);
    EXPECT_EQ(now.PlainLogin, 1);
    EXPECT_EQ(a.TakeTrustLearned(), 0);
    // What the user decided in a box for the same server replaces it, to be stored at once.
    edited.CertPin = std::string(64, 'b');
    a.ReplaceEditedSettings(edited, true);
    EXPECT_EQ(a.CopySettings().CertPin, edited.CertPin);
    EXPECT_EQ(a.CopySettings().StartTls, 0);
    EXPECT_EQ(a.TakeTrustLearned(), 1);
    // Another server starts with nothing.
    a.ReplaceSettings(learned);
    edited.Port = 110;
    a.ReplaceEditedSettings(edited, false);
    EXPECT_EQ(a.CopySettings().CertPin, "");
    EXPECT_EQ(a.CopySettings().PlainLogin, 0);
    EXPECT_EQ(a.TakeTrustLearned(), 0);
}

TEST(AccountStatus, LinesPerStatusCutTo31) {
    CGAccount a(0x8000);
    a.UpdateStatusText();
    EXPECT_STREQ(a.StatusText, "0 / 0"); // a new account, before its first check
    const std::pair<int, const char*> table[] = {
        {1, "Checking..."},
        {-1, "Failed to connect to that host/"},
        {-2, "Bad username/password"},
        {-3, "Protocol Error"},
        {-4, "Server Limit Exceeded"},
        {-5, "Certificate not trusted"},
        {-6, "Encryption unavailable"},
        {-7, "Sign-in needed"},
    };
    for (const auto& [status, text] : table) {
        a.Status = status;
        a.UpdateStatusText();
        EXPECT_STREQ(a.StatusText, text) << status;
    }
    a.Session.ApplyListing("1 a\r\n2 b\r\n3 c\r\n.\r\n");
    for (int status : {0, 7, -9}) {
        a.Status = status;
        a.UpdateStatusText();
        EXPECT_STREQ(a.StatusText, "3 / 3") << status;
    }
}

TEST(AccountList, MoveUpRemoveAndPositions) {
    CAccountList list(0x8000);
    EXPECT_EQ(list.Count(), 0);
    list.StartAll(nullptr); // nothing to do on an empty list
    list.CheckNowAll();
    list.MarkAllRead();
    list.UpdateStatusTexts();

    CGAccount* x = Named(list, "X");
    CGAccount* y = Named(list, "Y");
    CGAccount* z = Named(list, "Z");
    EXPECT_EQ(Names(list), (std::vector<std::string>{"X", "Y", "Z"}));
    EXPECT_EQ(list.At(2), z);
    EXPECT_EQ(list.At(3), nullptr);
    EXPECT_EQ(list.At(-1), nullptr);

    list.MoveUp(y);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Y", "X", "Z"}));
    list.MoveUp(y); // first already
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Y", "X", "Z"}));
    list.MoveUp(z);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Y", "Z", "X"}));
    EXPECT_EQ(list.At(2), x); // the last

    CGAccount stranger(0x8000);
    list.MoveUp(&stranger);
    list.RemoveAccount(&stranger); // not listed: left alone, not destroyed
    list.MoveUp(nullptr);
    EXPECT_EQ(list.Count(), 3);

    list.RemoveAccount(y); // the head
    EXPECT_EQ(list.At(0), z);
    list.RemoveAccount(x); // the last
    EXPECT_EQ(Names(list), std::vector<std::string>{"Z"});
    EXPECT_EQ(list.At(1), nullptr);
}

TEST(AccountList, AddAccountThroughTheDetailsEditor) {
    CAccountList list(0x8123);
    EXPECT_EQ(list.AddAccount([](CGAccount& a) {
        a.ApplySettings(Settings("u", "cancelled"));
        return 0;
    }),
              nullptr);
    EXPECT_EQ(list.Count(), 0);

    CGAccount* a = list.AddAccount([](CGAccount& a) {
        a.ApplySettings(Settings("u", "kept"));
        return 1;
    });
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->NotifyMessage, 0x8123u);
    EXPECT_EQ(Names(list), std::vector<std::string>{"u - kept"});
    EXPECT_TRUE(a->UidlFilePath.empty());
    // Defaults of a new account.
    const CGServerSettings s = a->CopySettings();
    EXPECT_EQ(s.Port, 995);
    EXPECT_EQ(s.UseSSL, 1);
    EXPECT_EQ(s.CheckMinutes, 5);
}

// Whatever an account is called, its list entry, section and seen file agree, and it comes
// back whole at every start: the third start included, after a save of what was loaded.
TEST_F(Persist, AnyNameComesBackWithItsValuesAndReadState) {
    // User names on one server, then servers alone: blanks at the ends, path characters,
    // characters the settings file gives a meaning, and names Windows keeps for devices.
    std::vector<std::pair<std::string, std::string>> names;
    for (const char* user : {" ann", "bob ", "DOMAIN\\user", "a:b", "a/b", "*?<>|\"", "x;y=z #c",
                             "[s]", "]", "\"q\"", "'q", "in side", "a\tb", "lpt1.x"})
        names.emplace_back(user, "pop.one");
    for (const char* server : {"con", "pop.one\""})
        names.emplace_back("", server);
    {
        CAccountList list(0x8000);
        for (size_t i = 0; i < names.size(); ++i) {
            const std::string n = std::to_string(i);
            CGAccount* a = Add(list, names[i].first.c_str(), names[i].second.c_str(),
                               ("pw" + n).c_str(), 1, 1000 + static_cast<int>(i), 5, "");
            a->Session.ApplyListing(("1 u" + n + "\r\n.\r\n").c_str());
            a->Session.MarkAllSeen();
        }
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
    for (int start = 2; start <= 3; ++start) {
        SCOPED_TRACE(start);
        CAccountList list(0x8000);
        ASSERT_EQ(list.Load(Ini.c_str()), 1);
        ASSERT_EQ(list.Count(), static_cast<int>(names.size()));
        std::set<std::string> files;
        for (size_t i = 0; i < names.size(); ++i) {
            SCOPED_TRACE(names[i].first);
            CGAccount* a = list.At(static_cast<int>(i));
            const CGServerSettings s = a->CopySettings();
            const std::string n = std::to_string(i);
            EXPECT_EQ(s.Username.GetOrEmpty(), names[i].first);
            EXPECT_EQ(s.Server.GetOrEmpty(), names[i].second);
            EXPECT_EQ(s.Password.GetOrEmpty(), "pw" + n);
            EXPECT_EQ(s.Port, 1000 + static_cast<int>(i));
            EXPECT_TRUE(FileExists(a->UidlFilePath));
            files.insert(a->UidlFilePath);
            a->Session.ApplyListing(("1 u" + n + "\r\n2 new\r\n.\r\n").c_str());
            EXPECT_EQ(a->UnreadCount(), 1);
        }
        EXPECT_EQ(files.size(), names.size()); // no two accounts share a seen file
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
}

// Accounts of one name (as earlier versions let the user make them, and as their settings
// files may list them) never overwrite each other's section or seen file.
TEST_F(Persist, AccountsOfOneNameKeepTheirOwnValuesAndReadState) {
    // Each account's password, and how many of u0, u1 and u2 are unread to it.
    auto check = [&](CAccountList& list, const std::vector<std::string>& passwords,
                     const std::vector<int>& unread) {
        ASSERT_EQ(list.Count(), static_cast<int>(passwords.size()));
        for (int i = 0; i < list.Count(); ++i) {
            CGAccount* a = list.At(i);
            EXPECT_EQ(a->CopySettings().Password.GetOrEmpty(), passwords[i]) << i;
            a->Session.ApplyListing("1 u0\r\n2 u1\r\n3 u2\r\n.\r\n");
            EXPECT_EQ(a->UnreadCount(), unread[i]) << i;
        }
    };
    {
        CAccountList list(0x8000);
        const char* users[] = {"ann", "ANN", "a,nn"};
        for (int i = 0; i < 3; ++i) {
            CGAccount* a = Add(list, users[i], "pop.one", users[i], 1, 995, 5, "");
            a->Session.ApplyListing(("1 u" + std::to_string(i) + "\r\n.\r\n").c_str());
            a->Session.MarkAllSeen();
        }
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
    EXPECT_EQ(Value("main", "accounts"), "ann - pop.one,ANN - pop.one (2),ann - pop.one (3)");
    {
        CAccountList list(0x8000);
        list.Load(Ini.c_str());
        check(list, {"ann", "ANN", "a,nn"}, {2, 2, 2}); // only its own message was read
    }
    // A list that names one section twice: both accounts load it, and from the next save on
    // each has its own.
    WriteProfileText("main", "accounts", "ann - pop.one,ann - pop.one", Ini.c_str());
    {
        CAccountList list(0x8000);
        list.Load(Ini.c_str());
        check(list, {"ann", "ann"}, {2, 2});
        CGServerSettings s = list.At(1)->CopySettings();
        s.Password.Assign("changed");
        list.At(1)->ApplySettings(s);
        list.At(1)->Session.ReplaceSeenUidls(CGUidlList());
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
    CAccountList again(0x8000);
    again.Load(Ini.c_str());
    check(again, {"ann", "changed"}, {2, 3});
    // Removing one of two accounts that were loaded from one section leaves the other its
    // section and seen file.
    WriteProfileText("main", "accounts", "ann - pop.one,ann - pop.one", Ini.c_str());
    {
        CAccountList list(0x8000);
        list.Load(Ini.c_str());
        list.RemoveAccount(list.At(1));
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
    CAccountList survivor(0x8000);
    survivor.Load(Ini.c_str());
    check(survivor, {"ann"}, {2});
}

} // namespace
