// The details dialog's "Check" against real servers on the fixed ports 995 and 110. Runs
// inside a private network namespace with the servers of probe_peer.py.
#include "dialogs/dialog_test_support.h"
#include "dialogs/dlg_configure.h"
#include "resources/dialog_ids.h"

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
};

struct Outcome {
    std::vector<std::string> Boxes; // texts, in order
    std::string Port;
    bool Ssl = false;
    bool AllTitled = true;  // every box "Check Host", owned by the dialog
    CGServerSettings After; // the account's settings once the dialog closed
};

const char* const Untrusted = "The server's certificate could not be verified (self-signed).";

// The certificate box: its first line, and whether the fingerprint follows it grouped.
std::string Shorten(const std::string& box) {
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
    account.ApplySettings(s);
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
            } else {
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
    if (!p.Confirm) {
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
    // A preset provider is not asked.
    Outcome preset = RunProbe({nullptr, 0, "wrong", {IDYES}});
    EXPECT_EQ(preset.Boxes, (std::vector<std::string>{Asked, Refused}));
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
    // For a preset, No keeps the preset's values.
    Outcome preset = RunProbe({nullptr, 1, "secret", {IDYES, IDNO}});
    EXPECT_EQ(preset.Boxes, (std::vector<std::string>{
                                Asked, "Encrypted (STARTTLS) email checking found. Use this?",
                                "Login successful. Secure email checking is working!"}));
    EXPECT_EQ(preset.Port, "995");
    EXPECT_TRUE(preset.Ssl);
    EXPECT_TRUE(preset.AllTitled);
}

TEST_F(ProbeTest, HostThatDoesNotResolve) {
    Outcome o = RunProbe({"nowhere.probe.test", ProviderOther, "secret", {}});
    ASSERT_EQ(o.Boxes.size(), 1u);
    EXPECT_EQ(o.Boxes[0].rfind("No email checking found. Either a) the hostname is wrong", 0), 0u);
    EXPECT_TRUE(o.AllTitled);
    EXPECT_EQ(o.Port, "2000");
}
