// Account names and status lines, and the list's structure operations (no network).
#include "mail/account_list.h"

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
    };
    for (const auto& [status, text] : table) {
        a.Status = status;
        a.UpdateStatusText();
        EXPECT_STREQ(a.StatusText, text) << status;
    }
    a.Session.ApplyListing("1 a\r\n2 b\r\n3 c\r\n.\r\n");
    for (int status : {0, 7, -7}) {
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

} // namespace
