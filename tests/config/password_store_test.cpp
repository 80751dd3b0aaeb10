// A password must come back unchanged after the whole road it takes between two runs:
// obfuscate, write into the settings file, read, decode. Stored forms may begin or end with
// a blank or a quote character, which the store's reader would otherwise drop. A password of
// printable ASCII keeps the stored form earlier versions wrote; any other is kept whole.
#include "config/config_seams.h"
#include "config/obfuscate.h"
#include "config/profile.h"
#include "config/settings.h"
#include "config/stored_password.h"
#include "support/scoped_seams.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string Transform(const std::string& text, bool encode) {
    CGObfuscate o(text.c_str(), 0x20, 0x7E);
    if (encode)
        o.Encode();
    else
        o.Decode();
    return o.Get();
}

// Fills n characters from a simple generator over the 95 printable characters.
std::string Printable(size_t n, uint32_t& seed) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        s += static_cast<char>(0x20 + (seed >> 16) % 95);
    }
    return s;
}

bool RiskyEnd(char ch) {
    return ch == ' ' || ch == '"' || ch == '\'';
}

TEST(PasswordStore, EveryPasswordOf0To256CharactersSurvivesTheSettingsFile) {
    TempDir dir;
    std::string ini = dir.File("varnocle.ini");
    ScopedSeams config(ConfigSeams);
    config->FlushWrites = 0; // thousands of writes; durability is not the question here
    uint32_t seed = 12345;
    std::vector<std::string> passwords;
    // 256 is the most the account dialog takes.
    for (size_t n = 0; n <= 256; ++n) {
        // Passwords whose stored forms have the ends the reader strips: built backwards
        // from the stored form, since decoding is the inverse of encoding.
        if (n >= 1) {
            std::string fill = Printable(n, seed);
            for (const char* ends : {"  ", "\"\"", "''", "' ", " \"", "\" "}) {
                std::string stored = fill;
                stored.front() = ends[0];
                stored.back() = ends[1];
                passwords.push_back(Transform(stored, false));
            }
            passwords.push_back(Transform(std::string(n, ' '), false));
            passwords.push_back(std::string(n, ' '));
            passwords.push_back(std::string(n, '"'));
        }
        for (int i = 0; i < 8; ++i)
            passwords.push_back(Printable(n, seed));
    }
    ASSERT_GT(passwords.size(), 3000u);

    size_t risky = 0;
    for (const std::string& password : passwords) {
        // Exactly the form earlier versions wrote, and read as they read it.
        std::string stored = StoredPassword(password);
        ASSERT_EQ(stored, Transform(password, true));
        if (!stored.empty() && (RiskyEnd(stored.front()) || RiskyEnd(stored.back())))
            ++risky;
        WriteProfileText("user - host", "password", stored.c_str(), ini.c_str());
        std::string read = ReadProfileText("user - host", "password", ini.c_str());
        ASSERT_EQ(read, stored) << "length " << password.size();
        ASSERT_EQ(PasswordFromStored(read), password);
    }
    // The cases that needed protecting were really there.
    EXPECT_GT(risky, 1500u);
}

// Characters of 1, 2, 3 and 4 bytes in UTF-8, a tab and DEL, mixed with printable ASCII.
std::string Mixed(size_t n, uint32_t& seed) {
    static const char* const pieces[] = {"a",        " ",        "\"",           "'",
                                         "\xC3\xA4", "\xD0\xB6", "\xE5\xAF\x86", "\xF0\x9F\x94\x91",
                                         "\t",       "\x7F"};
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        s += pieces[(seed >> 16) % (sizeof pieces / sizeof *pieces)];
    }
    return s;
}

TEST(PasswordStore, PasswordsBeyondPrintableAsciiSurviveWholeAndHidden) {
    TempDir dir;
    std::string ini = dir.File("varnocle.ini");
    ScopedSeams config(ConfigSeams);
    config->FlushWrites = 0;
    std::vector<std::string> passwords = {
        "p\xC3\xA4ssw\xC3\xB6rd", "Jos\xC3\xA9", "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C",
        "\xC3\xA9", " \xC3\xA9 ", "tab\there", "\x7F",
        "\x7F"
        "abc",
        // The longest a dialog field takes: 256 characters of three bytes each.
        [] {
            std::string s;
            for (int i = 0; i < 256; ++i)
                s += "\xE5\xAF\x86";
            return s;
        }()};
    uint32_t seed = 777;
    for (size_t n = 1; n <= 256; ++n)
        for (int i = 0; i < 4; ++i)
            passwords.push_back(Mixed(n, seed));

    size_t risky = 0;
    for (const std::string& password : passwords) {
        if (std::all_of(password.begin(), password.end(),
                        [](char c) { return c >= 0x20 && c <= 0x7E; }))
            continue; // printable ASCII after all: the test above
        const std::string stored = StoredPassword(password);
        // Never the old form, which is printable ASCII only; hidden: no byte beyond ASCII
        // shows, and the printable rest is no plain encoding of the password.
        ASSERT_EQ(stored[0], '\x7F');
        for (size_t i = 1; i < stored.size(); ++i)
            ASSERT_TRUE(stored[i] >= 0x20 && stored[i] <= 0x7E) << stored;
        if (RiskyEnd(stored.back()))
            ++risky;
        WriteProfileText("user - host", "password", stored.c_str(), ini.c_str());
        const std::string read = ReadProfileText("user - host", "password", ini.c_str());
        ASSERT_EQ(read, stored) << "bytes " << password.size();
        ASSERT_EQ(PasswordFromStored(read), password);
    }
    EXPECT_GT(risky, 20u); // stored forms ending in a blank or quote were among them
    // "пароль" in Base64 is 0L/QsNGA0L7Qu9GM: scrambled, it is not there to decode by eye.
    EXPECT_EQ(StoredPassword("\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C").find("0L/QsNGA"),
              std::string::npos);
    // A damaged new form gives no password rather than bytes the user never typed.
    EXPECT_EQ(PasswordFromStored("\x7F" + Transform("abc", true)), "");
    EXPECT_EQ(PasswordFromStored("\x7F"), "");
}

TEST(PasswordStore, OtherAccountsAndKeysAreUntouchedByProtectedValues) {
    TempDir dir;
    std::string ini = dir.File("varnocle.ini");
    WriteProfileText("a", "password", " \"'", ini.c_str());
    WriteProfileText("a", "server", "host", ini.c_str());
    WriteProfileText("b", "password", "'", ini.c_str());
    WriteProfileText("a", "password", "plain", ini.c_str());
    EXPECT_EQ(ReadProfileText("a", "password", ini.c_str()), "plain");
    EXPECT_EQ(ReadProfileText("a", "server", ini.c_str()), "host");
    EXPECT_EQ(ReadProfileText("b", "password", ini.c_str()), "'");
}

} // namespace
