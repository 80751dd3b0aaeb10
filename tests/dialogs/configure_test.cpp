#include "dialogs/dialog_test_support.h"
#include "dialogs/dlg_configure.h"
#include "resources/dialog_ids.h"
#include "support/oauth_peer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What the details dialog shows of the server fields.
struct Shown {
    int Provider;
    std::string Host, Port, Program;
    bool Ssl, HostOn, SslOn, PortOn, CheckOn, OkOn;
};

Shown Look(HWND d) {
    Shown s;
    s.Provider = static_cast<int>(SendDlgItemMessageA(d, IDC_PROVIDER, CB_GETCURSEL, 0, 0));
    s.Host = DialogDriver::ItemText(d, IDC_HOST);
    s.Port = DialogDriver::ItemText(d, IDC_PORT);
    s.Program = DialogDriver::ItemText(d, IDC_MAIL_PROGRAM);
    s.Ssl = DialogDriver::Checked(d, IDC_SSL);
    s.HostOn = DialogDriver::Enabled(d, IDC_HOST);
    s.SslOn = DialogDriver::Enabled(d, IDC_SSL);
    s.PortOn = DialogDriver::Enabled(d, IDC_PORT);
    s.CheckOn = DialogDriver::Enabled(d, IDC_CHECK_HOST);
    s.OkOn = DialogDriver::Enabled(d, IDOK);
    return s;
}

// Chooses a provider as the user does: the combo box notifies its dialog.
void ChooseProvider(HWND d, int index) {
    HWND combo = GetDlgItem(d, IDC_PROVIDER);
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_PROVIDER, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

CGServerSettings Server(const char* host, int port, int ssl) {
    CGServerSettings s;
    s.Server.Assign(host);
    s.Username.Assign("ann");
    s.Password.Assign("pw");
    s.Port = port;
    s.UseSSL = ssl;
    s.CheckMinutes = 7;
    return s;
}

// The shell seam as the user's browser: the sign-in's address goes to the test's browser.
TestBrowser* Browser = nullptr;
int BrowserOpened = 0;
HINSTANCE WINAPI OpenInBrowser(HWND, const char*, const char* url, const char*, const char*, INT) {
    ++BrowserOpened;
    if (Browser)
        Browser->Open(url);
    return reinterpret_cast<HINSTANCE>(33); // above 32: opened
}

// What the dialog shows of the sign-in: the password field ("P") or the sign-in button ("S"),
// the sign-in line, and the button's caption while it is there.
std::string LookSignIn(HWND d) {
    const bool password = IsWindowVisible(GetDlgItem(d, IDC_PASSWORD));
    const bool button = IsWindowVisible(GetDlgItem(d, IDC_SIGN_IN));
    return std::string(password ? "P" : "-") + (button ? "S " : "- ") +
           DialogDriver::ItemText(d, IDC_SIGNED_IN) +
           (button ? " [" + DialogDriver::ItemText(d, IDC_SIGN_IN) + "]" : "");
}

const OAuthPeer& Peer() {
    static const OAuthPeer peer = OAuthPeer::FromEnvironment();
    return peer;
}

} // namespace

TEST(DetailsDialog, ProvidersThatSignInTakeThePasswordsPlace) {
    LoadOAuthSettings(""); // the build's own: no client ID
    CGAccount account(0x8000);
    account.ApplySettings(Server(ProviderPresets[1].Host, 995, 1)); // a password from before
    ScriptedBoxes boxes;
    ScopedSeams<CGToolkitSeams> seams(ToolkitSeams);
    seams->ShellExecute = &OpenInBrowser;
    BrowserOpened = 0;
    std::vector<std::string> shown; // Microsoft, Other, Google, Google with a client ID
    DialogDriver driver;
    driver.WaitFor("Varnocle")
        .Do([&](HWND d) {
            shown.push_back(LookSignIn(d));
            DialogDriver::Click(d, IDC_SIGN_IN);
        })
        .Then([&](HWND) { return !boxes.Shown.empty(); })
        .Do([&](HWND d) {
            ChooseProvider(d, ProviderOther);
            shown.push_back(LookSignIn(d));
            ChooseProvider(d, 0);
            shown.push_back(LookSignIn(d));
            CGOAuthProvider g = FindOAuthProvider(OAuthGoogle);
            g.ClientId = "registered";
            ReplaceOAuthProvider(g);
            ChooseProvider(d, 0);
            shown.push_back(LookSignIn(d));
            ChooseProvider(d, 1);
            DialogDriver::Click(d, IDOK);
        });
    EXPECT_EQ(EditAccount(account, nullptr), 1);
    ASSERT_TRUE(driver.Finished());
    LoadOAuthSettings("");
    // Google without a client ID: app passwords.
    EXPECT_EQ(shown, (std::vector<std::string>{"-S Not signed in [Sign in...]", "P- ", "P- ",
                                               "-S Not signed in [Sign in...]"}));
    // Without a client ID the box says what is missing; no browser opens.
    ASSERT_EQ(boxes.Shown.size(), 1u);
    EXPECT_NE(boxes.Shown[0].Text.find("\"microsoft-client-id\""), std::string::npos);
    EXPECT_NE(boxes.Shown[0].Text.find("README"), std::string::npos);
    EXPECT_EQ(BrowserOpened, 0);
    // Microsoft takes no password: without a sign-in the account asks for one.
    const CGServerSettings s = account.CopySettings();
    EXPECT_EQ(s.OAuth, OAuthMicrosoft);
    EXPECT_EQ(s.OAuthUser, "ann");
    EXPECT_EQ(s.RefreshToken, "");
}

// The sign-in through the browser; the dialog's line and caption at every step.
TEST(DetailsDialogSignIn, TheBrowserComesBackAndOnlyOkKeepsTheSignIn) {
    SKIP_WITHOUT_OAUTH(Peer());
    Peer().Call("/control/reset");
    ReplaceOAuthProvider(Peer().Provider());
    TestBrowser browser(Peer());
    Browser = &browser;
    ScopedSeams<CGToolkitSeams> seams(ToolkitSeams);
    seams->ShellExecute = &OpenInBrowser;
    CGAccount account(0x8000);
    CGServerSettings s = Server(ProviderPresets[1].Host, 995, 1);
    s.Username.Assign("alice@example.com");
    account.ApplySettings(s);
    auto shows = [](std::string want) { return [want](HWND d) { return LookSignIn(d) == want; }; };
    auto signIn = [](HWND d) { DialogDriver::Click(d, IDC_SIGN_IN); };
    const std::string signedIn = "-S Signed in as alice@example.com [Sign in...]";
    const std::string waiting = "-S Waiting for the browser... [Cancel]";
    // One run of the dialog through the steps given; what it returned.
    const auto edit = [&account](DialogDriver& steps) {
        const int result = EditAccount(account, nullptr);
        EXPECT_TRUE(steps.Finished());
        return result;
    };
    EXPECT_EQ(edit(DialogDriver()
                       .WaitFor("Varnocle")
                       .Do(signIn)
                       .Then(shows(waiting))
                       .Then(shows(signedIn))
                       .Do([](HWND d) { DialogDriver::Click(d, IDOK); })),
              1);
    browser.Finish();
    const std::string kept = account.CopySettings().RefreshToken;
    EXPECT_EQ(Peer().RefreshTokens(), std::vector<std::string>{kept});
    EXPECT_EQ(account.CopySettings().OAuthUser, "alice@example.com");
    EXPECT_EQ(Peer().Authorized("login_hint"), "alice@example.com");
    // Signed in again, then Cancel: the account keeps its sign-in.
    EXPECT_EQ(edit(DialogDriver()
                       .WaitFor("Varnocle")
                       .Then(shows(signedIn))
                       .Do(signIn)
                       .Then(shows(waiting))
                       .Then(shows(signedIn))
                       .Do([](HWND d) { DialogDriver::Press(d, VK_ESCAPE); })),
              0);
    browser.Finish();
    EXPECT_EQ(Peer().RefreshTokens().size(), 2u);
    EXPECT_EQ(account.CopySettings().RefreshToken, kept);
    // Nobody comes back: "Cancel" ends the wait, and so does closing the dialog, at once (a
    // close that waited for the sign-in's five minutes would run past the test's time-out).
    browser.Follow = false;
    EXPECT_EQ(edit(DialogDriver()
                       .WaitFor("Varnocle")
                       .Do(signIn)
                       .Then(shows(waiting))
                       .Do(signIn)
                       .Then(shows(signedIn))
                       .Do(signIn)
                       .Then(shows(waiting))
                       .Do([](HWND d) { DialogDriver::Press(d, VK_ESCAPE); })),
              0);
    Browser = nullptr;
    EXPECT_EQ(account.CopySettings().RefreshToken, kept);
}

TEST(DetailsDialog, NewAccountOpensAsOtherAndNeedsAHost) {
    CGAccount account(0x8000);
    Shown opened{}, typed{}, emptied{};
    std::string interval;
    DialogDriver driver;
    driver.WaitFor("Varnocle").Do([&](HWND d) {
        opened = Look(d);
        interval = DialogDriver::ItemText(d, IDC_INTERVAL);
        DialogDriver::Type(d, IDC_HOST, "h");
        typed = Look(d);
        DialogDriver::Type(d, IDC_HOST, "");
        emptied = Look(d);
        DialogDriver::Press(d, VK_RETURN); // the disabled default button does nothing
        DialogDriver::Press(d, VK_ESCAPE);
    });
    EXPECT_EQ(EditAccount(account, nullptr), 0);
    ASSERT_TRUE(driver.Finished());
    EXPECT_EQ(opened.Provider, ProviderOther);
    EXPECT_EQ(opened.Host, "");
    EXPECT_EQ(opened.Port, "995");
    EXPECT_TRUE(opened.Ssl);
    EXPECT_EQ(interval, "5");
    EXPECT_TRUE(opened.HostOn && opened.SslOn && opened.PortOn);
    EXPECT_FALSE(opened.CheckOn || opened.OkOn);
    EXPECT_TRUE(typed.CheckOn && typed.OkOn);
    EXPECT_FALSE(emptied.CheckOn || emptied.OkOn);
    EXPECT_TRUE(account.CopySettings().Server.IsNull()); // cancelled: untouched
}

TEST(DetailsDialog, PresetsFillTheServerFieldsAndOtherKeepsThem) {
    CGAccount account(0x8000);
    account.ApplySettings(Server(ProviderPresets[0].Host, 995, 1));
    Shown opened{}, live{}, other{};
    DialogDriver driver;
    driver.WaitFor("Varnocle").Do([&](HWND d) {
        opened = Look(d);
        ChooseProvider(d, 1);
        live = Look(d);
        ChooseProvider(d, ProviderOther);
        other = Look(d);
        DialogDriver::Click(d, IDOK);
    });
    EXPECT_EQ(EditAccount(account, nullptr), 1);
    ASSERT_TRUE(driver.Finished());
    EXPECT_EQ(opened.Provider, 0);
    EXPECT_FALSE(opened.HostOn || opened.SslOn || opened.PortOn);
    EXPECT_TRUE(opened.CheckOn && opened.OkOn);
    EXPECT_EQ(live.Host, ProviderPresets[1].Host);
    EXPECT_EQ(live.Program, ProviderPresets[1].WebMail);
    EXPECT_TRUE(live.Ssl);
    EXPECT_EQ(live.Port, "995");
    EXPECT_TRUE(other.HostOn && other.SslOn && other.PortOn);
    EXPECT_EQ(other.Host, ProviderPresets[1].Host);
    CGServerSettings s = account.CopySettings();
    EXPECT_STREQ(s.Server.Get(), ProviderPresets[1].Host);
    EXPECT_STREQ(account.DoubleClick.Get(), ProviderPresets[1].WebMail);
    EXPECT_STREQ(account.Name.Get(), (std::string("ann - ") + ProviderPresets[1].Host).c_str());
}

TEST(DetailsDialog, PortFieldAndSslBox) {
    CGAccount account(0x8000);
    CGServerSettings learned = Server("pop.example", 995, 1);
    learned.CertPin = "ca";
    account.ApplySettings(learned);
    std::string afterZero, afterLeave, afterTick, afterClear;
    DialogDriver driver;
    driver.WaitFor("Varnocle").Do([&](HWND d) {
        SetFocus(GetDlgItem(d, IDC_PORT));
        DialogDriver::Type(d, IDC_PORT, "0");
        afterZero = DialogDriver::ItemText(d, IDC_PORT);
        SetFocus(GetDlgItem(d, IDC_HOST));
        afterLeave = DialogDriver::ItemText(d, IDC_PORT);
        SetFocus(GetDlgItem(d, IDC_PORT));
        DialogDriver::Type(d, IDC_PORT, "70000");
        SendMessageA(GetDlgItem(d, IDC_SSL), BM_CLICK, 0, 0); // clears the box
        afterClear = DialogDriver::ItemText(d, IDC_PORT);
        DialogDriver::Type(d, IDC_PORT, "2345");
        SendMessageA(GetDlgItem(d, IDC_SSL), BM_CLICK, 0, 0); // ticks it again
        afterTick = DialogDriver::ItemText(d, IDC_PORT);
        DialogDriver::Type(d, IDC_PORT, "70000");
        DialogDriver::Type(d, IDC_INTERVAL, "0"); // out of range: the old 7 stays
        DialogDriver::Click(d, IDOK);
    });
    EXPECT_EQ(EditAccount(account, nullptr), 1);
    ASSERT_TRUE(driver.Finished());
    EXPECT_EQ(afterZero, "0");
    EXPECT_EQ(afterLeave, "995");
    EXPECT_EQ(afterClear, "110");
    EXPECT_EQ(afterTick, "995");
    CGServerSettings s = account.CopySettings();
    EXPECT_EQ(s.Port, 70000);
    EXPECT_EQ(s.UseSSL, 1);
    EXPECT_EQ(s.CheckMinutes, 7);
    // Another port is another server: what was learned about the old one is forgotten.
    EXPECT_EQ(s.CertPin, "");
}

TEST(DetailsDialog, LongHostWithCommasAndEmptyUserAreKept) {
    CGAccount account(0x8000);
    account.ApplySettings(Server("old.example", 110, 0));
    std::string host(250, 'h');
    host += ",a,b,c";                  // 256 characters
    std::string typed = host + "tail"; // typed beyond the field's limit
    DialogDriver driver;
    driver.WaitFor("Varnocle").Do([&](HWND d) {
        SetFocus(GetDlgItem(d, IDC_HOST));
        SendDlgItemMessageA(d, IDC_HOST, EM_SETSEL, 0, -1);
        SendDlgItemMessageA(d, IDC_HOST, EM_REPLACESEL, TRUE,
                            reinterpret_cast<LPARAM>(typed.c_str()));
        DialogDriver::Type(d, IDC_USER, "");
        DialogDriver::Click(d, IDOK);
    });
    EXPECT_EQ(EditAccount(account, nullptr), 1);
    ASSERT_TRUE(driver.Finished());
    CGServerSettings s = account.CopySettings();
    EXPECT_EQ(std::string(s.Server.Get()), host);
    EXPECT_STREQ(s.Username.Get(), "");
    EXPECT_EQ(std::string(account.Name.Get()), std::string(250, 'h') + "abc");
}

TEST(DetailsDialog, BlanksAroundTheHostAndUserAreDropped) {
    CGAccount account(0x8000);
    CGServerSettings learned = Server("pop.example", 995, 1);
    learned.CertPin = std::string(64, 'c');
    learned.StartTls = 1;
    account.ApplySettings(learned);
    Shown blanksOnly{};
    DialogDriver driver;
    driver.WaitFor("Varnocle").Do([&](HWND d) {
        DialogDriver::Type(d, IDC_HOST, " \t ");
        blanksOnly = Look(d);
        DialogDriver::Type(d, IDC_HOST, "  Pop.Example. \t");
        DialogDriver::Type(d, IDC_USER, " \tann  ");
        // A check proves the server by an authority while the dialog is open.
        CGServerSettings meanwhile = account.CopySettings();
        meanwhile.CertPin = "ca";
        account.ReplaceSettings(meanwhile);
        DialogDriver::Click(d, IDOK);
    });
    EXPECT_EQ(EditAccount(account, nullptr), 1);
    ASSERT_TRUE(driver.Finished());
    EXPECT_FALSE(blanksOnly.CheckOn || blanksOnly.OkOn);
    EXPECT_STREQ(account.CopySettings().Server.Get(), "Pop.Example.");
    EXPECT_STREQ(account.CopySettings().Username.Get(), "ann");
    EXPECT_STREQ(account.Name.Get(), "ann - Pop.Example.");
    // The same server, typed again with blanks, another case and the root's dot: what was
    // learned about it stays, also what was learned while the dialog was open.
    EXPECT_EQ(account.CopySettings().CertPin, "ca");
    EXPECT_EQ(account.CopySettings().StartTls, 1);
}

TEST(DetailsDialog, TheNameOfAnotherAccountIsRefusedAndTheDialogStaysAsItIs) {
    CAccountList list(0x8000);
    AddNamed(list, "Ann", "pop.example");
    CGAccount* bob = AddNamed(list, "bob", "pop.example");
    ScriptedBoxes boxes;
    std::string titleAfterRefusal, userAfterRefusal, bobDuringDialog;
    DialogDriver driver;
    driver.WaitFor("Varnocle")
        .Do([&](HWND d) {
            // Another letter case, a comma and blanks make the same name.
            DialogDriver::Type(d, IDC_USER, " a,NN ");
            DialogDriver::Click(d, IDOK);
        })
        .Do([&](HWND d) {
            titleAfterRefusal = DialogDriver::TitleOf(d);
            userAfterRefusal = DialogDriver::ItemText(d, IDC_USER);
            bobDuringDialog = bob->Name.GetOrEmpty();
            DialogDriver::Type(d, IDC_USER, "BOB"); // its own name, in other letters
            DialogDriver::Click(d, IDOK);
        });
    EXPECT_EQ(EditAccount(*bob, nullptr, &list), 1);
    ASSERT_TRUE(driver.Finished());
    ASSERT_EQ(boxes.Shown.size(), 1u);
    EXPECT_EQ(boxes.Shown[0].Text, "There is already an account with this user name and server. "
                                   "Change one of them, or Cancel.");
    EXPECT_EQ(boxes.Shown[0].Caption, "Error");
    EXPECT_EQ(titleAfterRefusal, "Varnocle");
    EXPECT_EQ(userAfterRefusal, " a,NN ");
    EXPECT_EQ(bobDuringDialog, "bob - pop.example");
    EXPECT_STREQ(bob->Name.Get(), "BOB - pop.example");
}
