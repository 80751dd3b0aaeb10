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
};

struct Outcome {
    std::vector<std::string> Boxes; // texts, in order
    std::string Port;
    bool Ssl = false;
    bool AllTitled = true; // every box "Check Host", owned by the dialog
};

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
            DialogDriver::Press(d, VK_ESCAPE);
        });
    EXPECT_EQ(EditAccount(account, nullptr), 0);
    EXPECT_TRUE(driver.Finished());
    for (const ShownBox& b : boxes.Shown) {
        out.Boxes.push_back(b.Text);
        out.AllTitled = out.AllTitled && b.Caption == "Check Host" && b.Owner == dialog;
    }
    CGServerSettings after = account.CopySettings();
    EXPECT_EQ(after.Port, 2000); // the probe never changes the account
    EXPECT_EQ(after.UseSSL, 0);
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

TEST_F(ProbeTest, TlsServerWithTheRightPassword) {
    Outcome o = RunProbe({"tls.probe.test", ProviderOther, "secret", {IDYES}});
    EXPECT_EQ(o.Boxes,
              (std::vector<std::string>{"Secure email checking found. Use this?",
                                        "Login successful. Secure email checking is working!"}));
    EXPECT_TRUE(o.AllTitled);
    EXPECT_EQ(o.Port, "995");
    EXPECT_TRUE(o.Ssl);
}

TEST_F(ProbeTest, TlsServerWithAWrongPassword) {
    // Chosen by hand: asked first, and No keeps the fields.
    Outcome other = RunProbe({"tls.probe.test", ProviderOther, "wrong", {IDNO}});
    EXPECT_EQ(other.Boxes,
              (std::vector<std::string>{"Secure email checking found. Use this?", Refused}));
    EXPECT_EQ(other.Port, "2000");
    EXPECT_FALSE(other.Ssl);
    // A preset provider is not asked.
    Outcome preset = RunProbe({nullptr, 0, "wrong", {}});
    EXPECT_EQ(preset.Boxes, std::vector<std::string>{Refused});
    EXPECT_TRUE(preset.AllTitled);
}

TEST_F(ProbeTest, PlainOnlyServerIsOfferedEvenForAPreset) {
    Outcome o = RunProbe({"plain.probe.test", ProviderOther, "secret", {IDYES}});
    EXPECT_EQ(o.Boxes, (std::vector<std::string>{"Unencrypted email checking found. Use this?",
                                                 "Unencrypted email checking is working!."}));
    EXPECT_EQ(o.Port, "110");
    EXPECT_FALSE(o.Ssl);
    Outcome preset = RunProbe({nullptr, 1, "secret", {IDNO}});
    EXPECT_EQ(preset.Boxes, (std::vector<std::string>{"Unencrypted email checking found. Use this?",
                                                      "Unencrypted email checking is working!."}));
    EXPECT_EQ(preset.Port, "995"); // No: the preset's values stay
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
