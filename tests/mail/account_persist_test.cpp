// Options, accounts and seen lists through the settings file and the seen-identifier files.
#include "config/obfuscate.h"
#include "config/settings.h"
#include "mail/account_list.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class Persist : public ::testing::Test {
protected:
    void SetUp() override {
        SetDataFolderForTests(Dir.Path());
        MakeDataPath("ini", "varnocle", Ini);
    }
    void TearDown() override { SetDataFolderForTests(""); }

    std::string Value(const char* section, const char* key) {
        return ReadProfileText(section, key, Ini.c_str());
    }
    std::string SeenPath(const char* section) {
        std::string path;
        MakeDataPath("uidl", section, path);
        return path;
    }
    static CGAccount* Add(CAccountList& list, const char* user, const char* server,
                          const char* password, int ssl, int port, int minutes,
                          const char* program) {
        CGAccount* a = list.AddAccount(nullptr);
        CGServerSettings s;
        s.Username.Assign(user);
        s.Server.Assign(server);
        s.Password.Assign(password);
        s.UseSSL = ssl;
        s.Port = port;
        s.CheckMinutes = minutes;
        a->ApplySettings(s);
        a->DoubleClick.Assign(program);
        return a;
    }

    TempDir Dir;
    std::string Ini;
};

TEST_F(Persist, TwoAccountsWriteTheDocumentedValuesAndComeBack) {
    {
        CAccountList list(0x8000);
        list.PlaySound = 1;
        Add(list, "user1", "server1", "secret 1", 1, 995, 5, "C:\\mail.exe");
        Add(list, "", "server2", "pw", 0, 110, 10, "");
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
    EXPECT_EQ(Value("main", "accounts"), "user1 - server1,server2");
    EXPECT_EQ(Value("newmail", "playsound"), "true");
    EXPECT_EQ(Value("newmail", "customsound"), "");
    EXPECT_EQ(Value("newmail", "changecolour"), "true");
    EXPECT_EQ(Value("newmail", "newmailcolour"), "95,255,95");
    EXPECT_EQ(Value("user1 - server1", "server"), "server1");
    EXPECT_EQ(Value("user1 - server1", "username"), "user1");
    EXPECT_EQ(Value("user1 - server1", "SSL"), "true");
    EXPECT_EQ(Value("user1 - server1", "port"), "995");
    EXPECT_EQ(Value("user1 - server1", "checkmins"), "5");
    EXPECT_EQ(Value("user1 - server1", "doubleclick"), "C:\\mail.exe");
    EXPECT_EQ(Value("server2", "SSL"), "false");
    EXPECT_EQ(Value("server2", "port"), "110");
    EXPECT_EQ(Value("server2", "checkmins"), "10");
    // The password is stored in its obfuscated form, never in the clear.
    const std::string stored = Value("user1 - server1", "password");
    EXPECT_NE(stored, "secret 1");
    CGObfuscate decoded(stored.c_str(), 0x20, 0x7E);
    decoded.Decode();
    EXPECT_STREQ(decoded.Get(), "secret 1");
    // Accounts added in this run have no seen file yet.
    EXPECT_FALSE(FileExists(SeenPath("server2")));

    CAccountList again(0x8000);
    ASSERT_EQ(again.Load(Ini.c_str()), 1);
    EXPECT_EQ(again.PlaySound, 1);
    EXPECT_EQ(again.ChangeColour, 1);
    EXPECT_EQ(again.NewMailColour, DefaultNewMailColour);
    ASSERT_EQ(again.Count(), 2);
    CGAccount* first = again.At(0);
    CGServerSettings s = first->CopySettings();
    EXPECT_STREQ(first->Name.Get(), "user1 - server1");
    EXPECT_STREQ(s.Password.Get(), "secret 1");
    EXPECT_EQ(s.UseSSL, 1);
    EXPECT_EQ(s.Port, 995);
    EXPECT_STREQ(first->DoubleClick.Get(), "C:\\mail.exe");
    EXPECT_EQ(first->UidlFilePath, SeenPath("user1 - server1"));
    EXPECT_STREQ(first->StatusText, "0 / 0");
    s = again.At(1)->CopySettings();
    EXPECT_STREQ(again.At(1)->Name.Get(), "server2");
    EXPECT_EQ(s.UseSSL, 0);
    EXPECT_EQ(s.Port, 110);
    EXPECT_EQ(s.CheckMinutes, 10);
}

TEST_F(Persist, SeenListsFollowTheSectionTheyWereLoadedFrom) {
    WriteProfileText("main", "accounts", " ann - pop.one , pop.two", Ini.c_str());
    WriteProfileText("ann - pop.one", "server", "pop.one", Ini.c_str());
    WriteProfileText("ann - pop.one", "username", "ann", Ini.c_str());
    WriteProfileText("pop.two", "server", "pop.two", Ini.c_str());
    WriteFileBytes(SeenPath("ann - pop.one"), "a\nb\n");
    {
        CAccountList list(0x8000);
        list.Load(Ini.c_str());
        ASSERT_EQ(list.Count(), 2);
        CGAccount* ann = list.At(0);
        EXPECT_EQ(ann->Session.CopySeenUidls().Count(), 2u);
        // Renamed in this run: saved under the new name, seen list still in the old file.
        CGServerSettings s = ann->CopySettings();
        s.Server.Assign("pop,new");
        ann->ApplySettings(s);
        ann->Session.ApplyListing("1 a\r\n2 b\r\n3 c\r\n.\r\n");
        ann->Session.MarkAllSeen();
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
    EXPECT_EQ(Value("main", "accounts"), "ann - popnew,pop.two");
    EXPECT_EQ(Value("ann - popnew", "server"), "pop,new");
    const std::string seen = ReadFileBytes(SeenPath("ann - pop.one"));
    EXPECT_TRUE(seen == "c\nb\na\n" || seen == "c\r\nb\r\na\r\n") << seen;
    EXPECT_FALSE(FileExists(SeenPath("ann - pop.one") + ".tmp"));
    // The account with no seen file had an empty list, and now has an empty file.
    EXPECT_EQ(ReadFileBytes(SeenPath("pop.two")), "");
}

TEST_F(Persist, DefaultsAndAnEmptyList) {
    WriteProfileText("main", "accounts", "bare", Ini.c_str());
    WriteProfileText("bare", "Port", "110abc", Ini.c_str());
    WriteProfileText("bare", "checkmins", "x", Ini.c_str());
    {
        CAccountList list(0x8000);
        list.Load(Ini.c_str());
        ASSERT_EQ(list.Count(), 1);
        const CGServerSettings s = list.At(0)->CopySettings();
        EXPECT_EQ(s.Port, 110); // the digits it starts with
        EXPECT_EQ(s.CheckMinutes, 0);
        EXPECT_EQ(s.UseSSL, 1);
        EXPECT_EQ(list.At(0)->Session.CopySeenUidls().Count(), 0u);
        list.RemoveAccount(list.At(0));
        list.Save(Ini.c_str());
    }
    // Saving with no accounts removes the list, and the next start has none.
    EXPECT_EQ(Value("main", "accounts"), "");
    CAccountList empty(0x8000);
    empty.Load(Ini.c_str());
    EXPECT_EQ(empty.Count(), 0);
}

TEST_F(Persist, ASaveThatCannotReplaceKeepsTheOldList) {
    WriteProfileText("main", "accounts", "acct", Ini.c_str());
    WriteFileBytes(SeenPath("acct"), "old\n");
    CAccountList list(0x8000);
    list.Load(Ini.c_str());
    CGAccount* a = list.At(0);
    a->Session.ApplyListing("1 old\r\n2 new\r\n.\r\n");
    a->Session.MarkAllSeen();
    // The target is a folder now: the replacement fails and the list on disk stays whole.
    std::filesystem::remove(SeenPath("acct"));
    std::filesystem::create_directory(SeenPath("acct"));
    EXPECT_EQ(a->Save(Ini.c_str()), 0);
    EXPECT_FALSE(FileExists(SeenPath("acct") + ".tmp"));
}

} // namespace
