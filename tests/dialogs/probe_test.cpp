// The details dialog's "Check" against real servers on the fixed ports 995 and 110. Runs
// inside a private network namespace with the servers of probe_peer.py.
#include "dialogs/dialog_test_support.h"
#include "dialogs/dlg_configure.h"
#include "resources/dialog_ids.h"
#include "support/dovecot_peer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const Refused =
    "The mailserver reports that the Username and password are not recognised.";

struct Probe {
    const char* Host;
    int Provider; // ProviderOther or a preset
    const char* Password;
    std::vector<int> Answers; // to the boxes that ask
    bool Confirm = false;     // OK after the probe instead of Cancel
    // The account as it was before the dialog; null: no host yet, port 2000 and TLS off.
    const CGServerSettings* Known = nullptr;
};

struct Outcome {
    std::vector<std::string> Boxes; // texts, in order
    std::string Port;
    bool Ssl = false;
    bool AllTitled = true;  // every box "Check Host", owned by the dialog
    CGServerSettings After; // the account's settings once the dialog closed
};

const char* const Untrusted = "The server's certificate could not be verified (self-signed).";

// The lines the relay of probe_peer.py called name passed on from the client.
std::string RelayLog(const char* name) {
    const char* folder = std::getenv("VARNOCLE_PROBE_LOGS");
    return folder ? ReadFileBytes(PeerPath(std::string(folder) + "/" + name + ".log")) : "";
}

// The certificate box: its first line, and whether the fingerprint follows it grouped. Other
// boxes: their first sentence.
std::string Shorten(const std::string& box) {
    if (box.rfind(Untrusted, 0) != 0 && box.rfind("The server's certificate", 0) == 0)
        return box.substr(0, box.find(')') + 1);
    if (box.rfind("Encryption unavailable", 0) == 0 || box.rfind("The server offers", 0) == 0)
        return box.substr(0, box.find(". ") + 1);
    const std::size_t end = box.find('\n');
    if (box.rfind(Untrusted, 0) != 0 || end == std::string::npos)
        return box;
    const std::size_t print = box.find("fingerprint of its key:\n");
    const bool grouped = print != std::string::npos && box.size() > print + 24 + 95 &&
                         box[print + 24 + 2] == ':' && box[print + 24 + 47] == '\n';
    return box.substr(0, end) + (grouped ? " [fingerprint]" : " [no fingerprint]");
}

// Opens the details dialog on an account with port 2000 and TLS off, fills the fields (or
// chooses a preset provider), presses "Check", and cancels once the probe has answered.
Outcome RunProbe(const Probe& p) {
    ScriptedBoxes boxes;
    boxes.Answers.assign(p.Answers.begin(), p.Answers.end());
    CGAccount account(0x8000);
    CGServerSettings s;
    s.Port = 2000;
    s.UseSSL = 0;
    account.ApplySettings(p.Known ? *p.Known : s);
    Outcome out;
    HWND dialog = nullptr;
    DialogDriver driver;
    driver.WaitFor("Varnocle")
        .Do([&](HWND d) {
            dialog = d;
            if (p.Provider != ProviderOther) {
                HWND combo = GetDlgItem(d, IDC_PROVIDER);
                SendMessageA(combo, CB_SETCURSEL, p.Provider, 0);
                SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_PROVIDER, CBN_SELCHANGE),
                             reinterpret_cast<LPARAM>(combo)); // TLS on, port 995
            } else if (!p.Known) {
                DialogDriver::Type(d, IDC_HOST, p.Host);
            }
            DialogDriver::Type(d, IDC_USER, "probe");
            DialogDriver::Type(d, IDC_PASSWORD, p.Password);
            DialogDriver::Click(d, IDC_CHECK_HOST);
        })
        .Do([&](HWND d) {
            out.Port = DialogDriver::ItemText(d, IDC_PORT);
            out.Ssl = DialogDriver::Checked(d, IDC_SSL);
            if (p.Confirm)
                DialogDriver::Click(d, IDOK);
            else
                DialogDriver::Press(d, VK_ESCAPE);
        });
    EXPECT_EQ(EditAccount(account, nullptr), p.Confirm ? 1 : 0);
    EXPECT_TRUE(driver.Finished());
    for (const ShownBox& b : boxes.Shown) {
        out.Boxes.push_back(Shorten(b.Text));
        out.AllTitled = out.AllTitled && b.Caption == "Check Host" && b.Owner == dialog;
    }
    out.After = account.CopySettings();
    if (!p.Confirm && !p.Known) {
        EXPECT_EQ(out.After.Port, 2000); // the probe alone never changes the account
        EXPECT_EQ(out.After.UseSSL, 0);
        EXPECT_EQ(out.After.CertPin, "");
    }
    return out;
}

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("VARNOCLE_PRIVATE_NETWORK"))
            GTEST_SKIP() << "needs the servers of run_in_netns.py --peer probe_peer.py";
    }
};

} // namespace

const std::string Asked = std::string(Untrusted) + " [fingerprint]";
const std::string ProviderUnverified = "The server's certificate could not be verified "
                                       "(self-signed)";

TEST_F(ProbeTest, TlsServerWithTheRightPasswordAndItsCertificateTrusted) {
    // The self-signed certificate is put to the user before the password goes; OK keeps its
    // key as the account's pin.
    Outcome o = RunProbe({"tls.probe.test", ProviderOther, "secret", {IDYES, IDYES}, true});
    EXPECT_EQ(o.Boxes,
              (std::vector<std::string>{Asked, "Secure email checking found. Use this?",
                                        "Login successful. Secure email checking is working!"}));
    EXPECT_TRUE(o.AllTitled);
    EXPECT_EQ(o.After.Port, 995);
    EXPECT_EQ(o.After.UseSSL, 1);
    EXPECT_EQ(o.After.CertPin.size(), 64u);
    EXPECT_EQ(o.After.StartTls, 0);
}

TEST_F(ProbeTest, ACertificateTheUserRefusesEndsTheProbeUnasked) {
    // No: neither port goes on to a login, and nothing more is asked or changed.
    Outcome o = RunProbe({"tls.probe.test", ProviderOther, "secret", {IDNO}});
    EXPECT_EQ(o.Boxes, std::vector<std::string>{Asked});
    EXPECT_EQ(o.Port, "2000");
    EXPECT_FALSE(o.Ssl);
}

TEST_F(ProbeTest, TlsServerWithAWrongPassword) {
    // Chosen by hand: asked first, and No keeps the fields.
    Outcome other = RunProbe({"tls.probe.test", ProviderOther, "wrong", {IDYES, IDNO}});
    EXPECT_EQ(other.Boxes,
              (std::vector<std::string>{Asked, "Secure email checking found. Use this?", Refused}));
    EXPECT_EQ(other.Port, "2000");
    EXPECT_FALSE(other.Ssl);
    // A preset provider's certificate must verify: no question, no password.
    Outcome preset = RunProbe({nullptr, 0, "wrong", {IDYES}});
    EXPECT_EQ(preset.Boxes, std::vector<std::string>{ProviderUnverified});
    EXPECT_TRUE(preset.AllTitled);
}

TEST_F(ProbeTest, PlainPortThatOffersStartTlsIsTakenEncrypted) {
    // Port 110 only, with STARTTLS offered: Yes sets 110, TLS cleared and STARTTLS required.
    Outcome o = RunProbe({"plain.probe.test", ProviderOther, "secret", {IDYES, IDYES}, true});
    EXPECT_EQ(o.Boxes, (std::vector<std::string>{
                           Asked, "Encrypted (STARTTLS) email checking found. Use this?",
                           "Login successful. Secure email checking is working!"}));
    EXPECT_EQ(o.After.Port, 110);
    EXPECT_EQ(o.After.UseSSL, 0);
    EXPECT_EQ(o.After.StartTls, 1);
    EXPECT_EQ(o.After.CertPin.size(), 64u);
    // A preset's server behind STARTTLS too must verify; the preset's values stay.
    Outcome preset = RunProbe({nullptr, 1, "secret", {IDYES, IDNO}});
    EXPECT_EQ(preset.Boxes, std::vector<std::string>{ProviderUnverified});
    EXPECT_EQ(preset.Port, "995");
    EXPECT_TRUE(preset.Ssl);
    EXPECT_TRUE(preset.AllTitled);
}

TEST_F(ProbeTest, CheckKeepsTheRulesTheAccountLearned) {
    // An account that used STARTTLS on 110, checked where someone hides the offer (and 995
    // does not answer): no user name goes out, and OK keeps what the account knew.
    CGServerSettings known;
    known.Server.Assign("strip.probe.test");
    known.Port = 110;
    known.UseSSL = 0;
    known.StartTls = 1;
    known.CertPin = std::string(64, 'a');
    Outcome o = RunProbe({"strip.probe.test", ProviderOther, "secret", {}, true, &known});
    EXPECT_EQ(o.Boxes, std::vector<std::string>{"Encryption unavailable: the server used to "
                                                "encrypt the connection (STARTTLS) and no "
                                                "longer offers to."});
    EXPECT_NE(RelayLog("strip").find("CAPA"), std::string::npos);
    EXPECT_EQ(RelayLog("strip").find("USER"), std::string::npos) << RelayLog("strip");
    EXPECT_EQ(o.After.StartTls, 1);
    EXPECT_EQ(o.After.CertPin, known.CertPin);
}

TEST_F(ProbeTest, AFailedSwitchToStartTlsAsksBeforeAPlainLogin) {
    const std::string question = "The server offers encryption (STARTTLS), but switching to it "
                                 "failed.";
    Outcome no = RunProbe({"broken.probe.test", ProviderOther, "secret", {IDNO}, true});
    EXPECT_EQ(no.Boxes, std::vector<std::string>{question});
    EXPECT_EQ(RelayLog("broken").find("USER"), std::string::npos) << RelayLog("broken");
    EXPECT_EQ(no.After.PlainLogin, 0);
    // Yes is the user's own choice for this server, stored with it, and the login is tried.
    Outcome yes = RunProbe({"broken.probe.test", ProviderOther, "secret", {IDYES}, true});
    EXPECT_EQ(yes.Boxes,
              (std::vector<std::string>{question, "Unencrypted email checking is working!."}));
    EXPECT_NE(RelayLog("broken").find("PASS secret"), std::string::npos);
    EXPECT_EQ(yes.After.Port, 110);
    EXPECT_EQ(yes.After.UseSSL, 0);
    EXPECT_EQ(yes.After.PlainLogin, 1);
    EXPECT_EQ(yes.After.StartTls, 0);
}

TEST_F(ProbeTest, HostThatDoesNotResolve) {
    Outcome o = RunProbe({"nowhere.probe.test", ProviderOther, "secret", {}});
    ASSERT_EQ(o.Boxes.size(), 1u);
    EXPECT_EQ(o.Boxes[0].rfind("No email checking found. Either a) the hostname is wrong", 0), 0u);
    EXPECT_TRUE(o.AllTitled);
    EXPECT_EQ(o.Port, "2000");
}
