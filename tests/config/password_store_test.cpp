// A password must come back unchanged after the whole road it takes between two runs:
// obfuscate, write into the settings file, read, decode. Stored forms may begin or end with
// a blank or a quote character, which the store's reader would otherwise drop.
#include "config/config_seams.h"
#include "config/obfuscate.h"
#include "config/profile.h"
#include "config/settings.h"
#include "support/scoped_seams.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

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
        std::string stored = Transform(password, true);
        if (!stored.empty() && (RiskyEnd(stored.front()) || RiskyEnd(stored.back())))
            ++risky;
        WriteProfileText("user - host", "password", stored.c_str(), ini.c_str());
        std::string read = ReadProfileText("user - host", "password", ini.c_str());
        ASSERT_EQ(read, stored) << "length " << password.size();
        ASSERT_EQ(Transform(read, false), password);
    }
    // The cases that needed protecting were really there.
    EXPECT_GT(risky, 1500u);
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
