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

TEST(AccountName, UserAndServerWithoutCommas) {
    CGAccount a(0x8000);
    EXPECT_STREQ(a.Name.Get(), "");
    a.ApplySettings(Settings("ann", "server,one"));
    EXPECT_STREQ(a.Name.Get(), "ann - serverone");
    a.ApplySettings(Settings("", "server,one"));
    EXPECT_STREQ(a.Name.Get(), "serverone");
    a.ApplySettings(Settings(nullptr, "pop.example.com"));
    EXPECT_STREQ(a.Name.Get(), "pop.example.com");
    a.ApplySettings(Settings("a,b", ",,"));
    EXPECT_STREQ(a.Name.Get(), "ab - ");
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

} // namespace
