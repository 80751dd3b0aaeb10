// Options, accounts and seen lists through the settings file and the seen-identifier files.
#include "config/obfuscate.h"
#include "mail/persist_fixture.h"
#include "net/peer_certificate.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN // no sound functions, whose macros would rename PlaySound
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

TEST_F(Persist, TwoAccountsWriteTheDocumentedValuesAndComeBack) {
    {
        CAccountList list(0x8000);
        list.PlaySound = 1;
        list.NotifyDetails = 0;
        Add(list, "user1", "server1", "secret 1", 1, 995, 5, "C:\\mail.exe");
        Add(list, "", "server2", "pw", 0, 110, 10, "");
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
    EXPECT_EQ(Value("main", "accounts"), "user1 - server1,server2");
    EXPECT_EQ(Value("newmail", "playsound"), "true");
    EXPECT_EQ(Value("newmail", "customsound"), "");
    EXPECT_EQ(Value("newmail", "changecolour"), "true");
    EXPECT_EQ(Value("newmail", "newmailcolour"), "95,255,95");
    EXPECT_EQ(Value("newmail", "notify"), "true");
    EXPECT_EQ(Value("newmail", "notifydetails"), "false");
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
    // Accounts added in this run have their seen files from the first save on.
    EXPECT_TRUE(FileExists(SeenPath("server2")));
    // Nothing learned about the servers yet: no keys for it.
    EXPECT_FALSE(Has("user1 - server1", "certpin"));
    EXPECT_FALSE(Has("server2", "starttls"));

    CAccountList again(0x8000);
    ASSERT_EQ(again.Load(Ini.c_str()), 1);
    EXPECT_EQ(again.PlaySound, 1);
    EXPECT_EQ(again.ChangeColour, 1);
    EXPECT_EQ(again.NewMailColour, DefaultNewMailColour);
    EXPECT_EQ(again.Notify, 1);
    EXPECT_EQ(again.NotifyDetails, 0);
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
    EXPECT_EQ(s.CertPin, "");
    EXPECT_EQ(s.StartTls, 0);

    // What a check learns is written on its own, into the sections the accounts came from,
    // and the next start reads it back.
    const std::string pin(64, 'a');
    s.CertPin = pin;
    s.StartTls = 1;
    again.At(1)->ApplySettings(s);
    ASSERT_EQ(again.At(1)->SaveTrust(Ini.c_str()), 1);
    EXPECT_EQ(Value("server2", "certpin"), pin);
    EXPECT_EQ(Value("server2", "starttls"), "true");
    EXPECT_FALSE(Has("user1 - server1", "certpin"));
    CAccountList third(0x8000);
    ASSERT_EQ(third.Load(Ini.c_str()), 1);
    EXPECT_EQ(third.At(1)->CopySettings().CertPin, pin);
    EXPECT_EQ(third.At(1)->CopySettings().StartTls, 1);
    // A fingerprint pasted by hand as the certificate box shows it stands for the same pin.
    ASSERT_EQ(WriteProfileText("server2", "certpin", GroupedFingerprint(pin).c_str(), Ini.c_str()),
              1);
    CAccountList pasted(0x8000);
    ASSERT_EQ(pasted.Load(Ini.c_str()), 1);
    EXPECT_EQ(pasted.At(1)->CopySettings().CertPin, pin);
    // Forgotten (the user changed the server), the keys leave the section at the next save.
    s.CertPin.clear();
    s.StartTls = 0;
    third.At(1)->ApplySettings(s);
    ASSERT_EQ(third.Save(Ini.c_str()), 1);
    EXPECT_FALSE(Has("server2", "certpin"));
    EXPECT_FALSE(Has("server2", "starttls"));
}

TEST_F(Persist, LearnedTrustGoesOnlyToTheSectionOfItsServer) {
    CAccountList list(0x8000);
    Add(list, "ann", "old.example", "pw", 1, 995, 5, "");
    ASSERT_EQ(list.Save(Ini.c_str()), 1);
    CAccountList loaded(0x8000);
    ASSERT_EQ(loaded.Load(Ini.c_str()), 1);
    CGAccount& a = *loaded.At(0);
    // Edited to another server, which a check then proves: until the next save the file
    // still holds the old server, which must not get the new one's key.
    CGServerSettings s = a.CopySettings();
    s.Server.Assign("new.example");
    s.CertPin = std::string(64, 'e');
    s.StartTls = 1;
    s.PlainLogin = 1;
    a.ApplySettings(s);
    ASSERT_EQ(a.SaveTrust(Ini.c_str()), 1);
    EXPECT_FALSE(Has("ann - old.example", "certpin"));
    EXPECT_FALSE(Has("ann - new.example", "certpin"));
    ASSERT_EQ(loaded.Save(Ini.c_str()), 1);
    EXPECT_EQ(Value("ann - new.example", "certpin"), s.CertPin);
    EXPECT_EQ(Value("ann - new.example", "plainlogin"), "true");
    // Stored there, later learning goes there at once.
    s.CertPin = "ca";
    a.ApplySettings(s);
    ASSERT_EQ(a.SaveTrust(Ini.c_str()), 1);
    EXPECT_EQ(Value("ann - new.example", "certpin"), "ca");
    CAccountList again(0x8000);
    ASSERT_EQ(again.Load(Ini.c_str()), 1);
    EXPECT_EQ(again.At(0)->CopySettings().PlainLogin, 1);
}

TEST_F(Persist, ASignInIsStoredProtectedAndItsReplacementAtOnce) {
    CAccountList list(0x8000);
    CGAccount* a = Add(list, "ann@outlook.com", "outlook.office365.com", "", 1, 995, 5, "");
    CGServerSettings s = a->CopySettings();
    s.OAuth = "microsoft";
    s.OAuthUser = "ann@outlook.com";
    s.RefreshToken = "M.C5_BAY.0.U.-" + std::string(1500, 'r') + "-end"; // long, as they are
    a->ApplySettings(s);
    ASSERT_EQ(list.Save(Ini.c_str()), 1);
    const char* section = "ann@outlook.com - outlook.office365.com";
    EXPECT_EQ(Value(section, "oauth"), "microsoft");
    EXPECT_EQ(Value(section, "oauth-user"), "ann@outlook.com");
    EXPECT_TRUE(Has(section, "oauth-token"));
    EXPECT_EQ(ReadFileBytes(Ini).find("rrrrrrrr"), std::string::npos); // never in the clear
    CAccountList loaded(0x8000);
    ASSERT_EQ(loaded.Load(Ini.c_str()), 1);
    CGServerSettings back = loaded.At(0)->CopySettings();
    EXPECT_EQ(back.RefreshToken, s.RefreshToken);
    EXPECT_EQ(back.OAuthUser, s.OAuthUser);
    // A token the provider replaced is written with what a check learned, at once.
    back.RefreshToken = "replaced";
    loaded.At(0)->ApplySettings(back);
    ASSERT_EQ(loaded.At(0)->SaveTrust(Ini.c_str()), 1);
    CAccountList again(0x8000);
    ASSERT_EQ(again.Load(Ini.c_str()), 1);
    EXPECT_EQ(again.At(0)->CopySettings().RefreshToken, "replaced");
    // A token this user cannot read (another user's, another computer's) is no sign-in,
    // and no crash: the account asks for one.
    std::string stored = Value(section, "oauth-token");
    char& c = stored[stored.size() - 8];
    c = c == 'A' ? 'B' : 'A';
    ASSERT_EQ(WriteProfileText(section, "oauth-token", stored.c_str(), Ini.c_str()), 1);
    CAccountList moved(0x8000);
    ASSERT_EQ(moved.Load(Ini.c_str()), 1);
    EXPECT_EQ(moved.At(0)->CopySettings().OAuth, "microsoft");
    EXPECT_EQ(moved.At(0)->CopySettings().RefreshToken, "");
    // Signed out: no key of it stays.
    s.OAuth.clear();
    a->ApplySettings(s);
    ASSERT_EQ(list.Save(Ini.c_str()), 1);
    EXPECT_FALSE(Has(section, "oauth"));
    EXPECT_FALSE(Has(section, "oauth-token"));
}

TEST_F(Persist, AnAddedAccountKeepsWhatWasReadAndItsLongestPassword) {
    const std::string password(256, 'p'); // the most the details dialog takes
    {
        CAccountList list(0x8000);
        CGAccount* a = Add(list, "ann", "pop.one", password.c_str(), 1, 995, 5, "");
        a->Session.ApplyListing("1 a\r\n2 b\r\n3 c\r\n.\r\n");
        a->Session.MarkAllSeen();
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
    CAccountList again(0x8000);
    again.Load(Ini.c_str());
    ASSERT_EQ(again.Count(), 1);
    CGAccount* a = again.At(0);
    EXPECT_EQ(a->CopySettings().Password.Get(), password);
    // The same mailbox after the restart: nothing unread, nothing announced.
    a->Session.ApplyListing("1 a\r\n2 b\r\n3 c\r\n.\r\n");
    EXPECT_EQ(a->UnreadCount(), 0);
    EXPECT_EQ(a->TakeNewMail(), 0);
}

TEST_F(Persist, ARenamedAccountTakesItsSeenListAndLeavesNoOldSection) {
    WriteProfileText("main", "accounts", " ann - pop.one , pop.two", Ini.c_str());
    WriteProfileText("ann - pop.one", "server", "pop.one", Ini.c_str());
    WriteProfileText("ann - pop.one", "username", "ann", Ini.c_str());
    WriteProfileText("ann - pop.one", "password", "secret", Ini.c_str());
    WriteProfileText("pop.two", "server", "pop.two", Ini.c_str());
    WriteFileBytes(SeenPath("ann - pop.one"), "a\nb\n");
    {
        CAccountList list(0x8000);
        list.Load(Ini.c_str());
        ASSERT_EQ(list.Count(), 2);
        CGAccount* ann = list.At(0);
        EXPECT_EQ(ann->Session.CopySeenUidls().Count(), 2u);
        CGServerSettings s = ann->CopySettings();
        s.Server.Assign("pop,new");
        ann->ApplySettings(s);
        ann->Session.ApplyListing("1 a\r\n2 b\r\n3 c\r\n.\r\n");
        ann->Session.MarkAllSeen();
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
    EXPECT_EQ(Value("main", "accounts"), "ann - popnew,pop.two");
    EXPECT_EQ(Value("ann - popnew", "server"), "pop,new");
    EXPECT_EQ(SeenLines("ann - popnew"), (std::set<std::string>{"a", "b", "c"}));
    EXPECT_FALSE(FileExists(SeenPath("ann - popnew") + ".tmp"));
    // The old name leaves no file and no section with a password behind.
    EXPECT_FALSE(FileExists(SeenPath("ann - pop.one")));
    EXPECT_FALSE(Has("ann - pop.one", "password"));
    EXPECT_FALSE(Has("ann - pop.one", "server"));
    // The account with no seen file had an empty list, and now has an empty file.
    EXPECT_EQ(ReadFileBytes(SeenPath("pop.two")), "");

    CAccountList again(0x8000);
    again.Load(Ini.c_str());
    ASSERT_EQ(again.Count(), 2);
    again.At(0)->Session.ApplyListing("1 a\r\n2 b\r\n3 c\r\n.\r\n");
    EXPECT_EQ(again.At(0)->UnreadCount(), 0);
}

TEST_F(Persist, RemovedAndRenamedSectionsGoUnlessAListedAccountHasTheName) {
    WriteProfileText("main", "accounts", "a - h1,b - h2,c - h3", Ini.c_str());
    for (const char* user : {"a", "b", "c"}) {
        const std::string section = std::string(user) + " - h" + std::to_string(*user - 'a' + 1);
        WriteProfileText(section.c_str(), "server", section.substr(4).c_str(), Ini.c_str());
        WriteProfileText(section.c_str(), "username", user, Ini.c_str());
        WriteProfileText(section.c_str(), "password", "pw", Ini.c_str());
    }
    // Sections the program does not list are not its to remove.
    WriteProfileText("old - h", "password", "forgotten", Ini.c_str());
    WriteProfileText("other", "key", "value", Ini.c_str());
    WriteFileBytes(SeenPath("c - h3"), "m1\n");
    WriteFileBytes(SeenPath("a - h1"), "a1\n");
    {
        CAccountList list(0x8000);
        list.Load(Ini.c_str());
        ASSERT_EQ(list.Count(), 3);
        list.RemoveAccount(list.At(0)); // a - h1
        list.RemoveAccount(list.At(0)); // b - h2
        // Until the save that drops it from the list, a removed account keeps its file.
        EXPECT_TRUE(FileExists(SeenPath("a - h1")));
        // c takes the removed b's name: that section now holds c's values.
        CGAccount* c = list.At(0);
        CGServerSettings s = c->CopySettings();
        s.Username.Assign("b");
        s.Server.Assign("h2");
        s.Password.Assign("new");
        c->ApplySettings(s);
        ASSERT_EQ(list.Save(Ini.c_str()), 1);
    }
    EXPECT_EQ(Value("main", "accounts"), "b - h2");
    EXPECT_FALSE(Has("a - h1", "password"));
    EXPECT_FALSE(Has("c - h3", "password"));
    CGObfuscate stored(Value("b - h2", "password").c_str(), 0x20, 0x7E);
    stored.Decode();
    EXPECT_STREQ(stored.Get(), "new");
    EXPECT_EQ(SeenLines("b - h2"), (std::set<std::string>{"m1"}));
    EXPECT_FALSE(FileExists(SeenPath("c - h3")));
    EXPECT_FALSE(FileExists(SeenPath("a - h1")));
    EXPECT_EQ(Value("old - h", "password"), "forgotten");
    EXPECT_EQ(Value("other", "key"), "value");
}

TEST_F(Persist, DefaultsAndAnEmptyList) {
    WriteProfileText("main", "accounts", "bare", Ini.c_str());
    WriteProfileText("bare", "Port", "110abc", Ini.c_str());
    WriteProfileText("bare", "checkmins", "x", Ini.c_str());
    {
        CAccountList list(0x8000);
        list.Notify = list.NotifyDetails = 0;
        list.Load(Ini.c_str());
        ASSERT_EQ(list.Count(), 1);
        // A settings file from before the notification: both of its options on.
        EXPECT_EQ(list.Notify, 1);
        EXPECT_EQ(list.NotifyDetails, 1);
        const CGServerSettings s = list.At(0)->CopySettings();
        EXPECT_EQ(s.Port, 110); // the digits it starts with
        EXPECT_EQ(s.CheckMinutes, 0);
        EXPECT_EQ(s.UseSSL, 1);
        EXPECT_EQ(list.At(0)->Session.CopySeenUidls().Count(), 0u);
        list.RemoveAccount(list.At(0));
        list.Save(Ini.c_str());
    }
    // Saving with no accounts removes the list, and the next start has none.
    EXPECT_FALSE(Has("main", "accounts"));
    CAccountList empty(0x8000);
    empty.Load(Ini.c_str());
    EXPECT_EQ(empty.Count(), 0);
}

// Makes writing the new seen file fail while the old one stays where it is: natively files
// may not grow past a few kilobytes (as on a full disk), on Windows another program holds
// the old file open without sharing it (as a virus scanner may).
class WritesFail {
public:
    explicit WritesFail(const std::string& path, long long limit = 4096) {
#ifdef _WIN32
        (void)limit;
        Held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
#else
        (void)path;
        getrlimit(RLIMIT_FSIZE, &Old);
        OldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = Old;
        small.rlim_cur = static_cast<rlim_t>(limit);
        setrlimit(RLIMIT_FSIZE, &small);
#endif
    }
    ~WritesFail() {
#ifdef _WIN32
        CloseHandle(Held);
#else
        setrlimit(RLIMIT_FSIZE, &Old);
        std::signal(SIGXFSZ, OldHandler);
#endif
    }

private:
#ifdef _WIN32
    HANDLE Held;
#else
    rlimit Old{};
    void (*OldHandler)(int) = nullptr;
#endif
};

TEST_F(Persist, ASaveThatCannotReplaceKeepsTheOldList) {
    WriteProfileText("main", "accounts", "acct", Ini.c_str());
    WriteProfileText("acct", "server", "acct", Ini.c_str());
    WriteFileBytes(SeenPath("acct"), "old\n");
    CAccountList list(0x8000);
    list.Load(Ini.c_str());
    CGAccount* a = list.At(0);
    ASSERT_STREQ(a->Name.Get(), "acct");
    std::string listing = "1 old\r\n";
    for (int i = 2; i < 3000; ++i)
        listing += std::to_string(i) + " message-" + std::to_string(i) + "\r\n";
    a->Session.ApplyListing((listing + ".\r\n").c_str());
    a->Session.MarkAllSeen();
    {
        WritesFail failing(SeenPath("acct"));
        EXPECT_EQ(a->Save("acct", Ini.c_str()), 0);
    }
    // Not a half-written list: the old one, whole.
    EXPECT_EQ(ReadFileBytes(SeenPath("acct")), "old\n");
    EXPECT_FALSE(FileExists(SeenPath("acct") + ".tmp"));
    EXPECT_EQ(a->UidlFilePath, SeenPath("acct"));
}

#ifndef _WIN32
// A save cut short (here by a full disk; a crash is the same) never leaves a list that names
// an account whose section is not there: the sections are written before the list.
TEST_F(Persist, TheListNeverNamesASectionNotYetWritten) {
    CAccountList list(0x8000);
    Add(list, "ann", "pop.one", "pw", 1, 995, 5, "");
    ASSERT_EQ(list.Save(Ini.c_str()), 1);
    Add(list, "bob", "pop.two", "pw", 1, 995, 5, "");
    {
        // Room for the longer list, not for a new section as well.
        WritesFail full(Ini, static_cast<long long>(ReadFileBytes(Ini).size()) + 40);
        EXPECT_EQ(list.Save(Ini.c_str()), 0);
    }
    CAccountList again(0x8000);
    again.Load(Ini.c_str());
    ASSERT_GE(again.Count(), 1);
    for (CGAccount& a : again)
        EXPECT_FALSE(a.CopySettings().Server.IsEmpty()) << a.Section;
    // The next save that can write stores the account that was left out.
    ASSERT_EQ(list.Save(Ini.c_str()), 1);
    EXPECT_EQ(Value("main", "accounts"), "ann - pop.one,bob - pop.two");
}
#endif

} // namespace
