// The value readers and writers and the data folder, through whichever store the platform
// uses (our own natively, the private-profile functions under Wine).
#include "config/config_seams.h"
#include "config/profile.h"
#include "config/settings.h"
#include "support/scoped_seams.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

class Settings : public ::testing::Test {
protected:
    TempDir Dir;
    std::string Ini = Dir.File("varnocle.ini");

    void Put(const std::string& text) { WriteFileBytes(Ini, text); }
    const char* P() const { return Ini.c_str(); }
};

TEST_F(Settings, BooleansAcceptOnlyTheFourTrueWords) {
    Put("[a]\nt1=Yes\nt2=Y\nt3=1\nt4=TRUE\nf1=on\nf2=2\nf3=\nf4=false\nf5=yes please\n");
    for (const char* key : {"t1", "t2", "t3", "t4"}) {
        EXPECT_EQ(ReadProfileBool("a", key, 0, P()), 1) << key;
    }
    for (const char* key : {"f1", "f2", "f3", "f4", "f5"}) {
        EXPECT_EQ(ReadProfileBool("a", key, 1, P()), 0) << key;
    }
    EXPECT_EQ(ReadProfileBool("a", "SSL", 1, P()), 1);
    EXPECT_EQ(ReadProfileBool("a", "SSL", 0, P()), 0);
    EXPECT_EQ(ReadProfileBool("none", "SSL", 1, nullptr), 1);
}

TEST_F(Settings, IntegersTakeLeadingDigitsAndEmptyIsZero) {
    Put("[acc]\ncheckmins=\nPort=110abc\nneg=  -7x\nplus=+12\nword=abc\nbig=99999999999\n"
        "small=-99999999999\n");
    EXPECT_EQ(ReadProfileInt("acc", "checkmins", 5, P()), 0);
    EXPECT_EQ(ReadProfileInt("acc", "missing", 5, P()), 5);
    EXPECT_EQ(ReadProfileInt("acc", "missing", -3, P()), -3);
    EXPECT_EQ(ReadProfileInt("acc", "port", 995, P()), 110);
    EXPECT_EQ(ReadProfileInt("acc", "neg", 0, P()), -7);
    EXPECT_EQ(ReadProfileInt("acc", "plus", 0, P()), 12);
    EXPECT_EQ(ReadProfileInt("acc", "word", 9, P()), 0);
    EXPECT_EQ(ReadProfileInt("acc", "big", 0, P()), 2147483647);
    EXPECT_EQ(ReadProfileInt("acc", "small", 0, P()), -2147483647 - 1);
}

TEST_F(Settings, ColoursNeedThreeNumbersAndKeepTheirLowBits) {
    auto colour = [&](const char* value) {
        Put(std::string("[newmail]\nnewmailcolour=") + value + "\n");
        return ReadNewMailColour(P());
    };
    EXPECT_EQ(colour("1,2,3"), MakeColour(1, 2, 3));
    EXPECT_EQ(colour("256,255,-1"), MakeColour(0, 255, 255));
    EXPECT_EQ(colour("300, 7,  8 "), MakeColour(44, 7, 8));
    EXPECT_EQ(colour("255,0"), DefaultNewMailColour);
    EXPECT_EQ(colour("1 ,2,3"), DefaultNewMailColour);
    EXPECT_EQ(colour("red"), DefaultNewMailColour);
    EXPECT_EQ(colour("4294967297,-4294967297,1"), MakeColour(1, 255, 1));
    EXPECT_EQ(ReadNewMailColour(Dir.File("absent.ini").c_str()), DefaultNewMailColour);

    WriteNewMailColour(MakeColour(10, 20, 30), P());
    EXPECT_EQ(ReadNewMailColour(P()), MakeColour(10, 20, 30));
}

TEST_F(Settings, PortWrittenLowerCaseReadsBackUnderItsMixedCaseName) {
    WriteProfileInt("user1 - server1", "port", 110, P());
    WriteProfileBool("user1 - server1", "SSL", 0, P());
    WriteProfileInt("user1 - server1", "checkmins", -12, P());
    EXPECT_EQ(ReadProfileInt("user1 - server1", "Port", 995, P()), 110);
    EXPECT_EQ(ReadProfileBool("USER1 - SERVER1", "ssl", 1, P()), 0);
    EXPECT_EQ(ReadProfileInt("user1 - server1", "checkmins", 5, P()), -12);
    WriteProfileInt("user1 - server1", "Port", 995, P());
    EXPECT_EQ(ReadProfileInt("user1 - server1", "port", 0, P()), 995);
    EXPECT_EQ(ReadFileBytes(Ini).find("Port"), std::string::npos) << "the key keeps its spelling";
}

TEST_F(Settings, AccountNamesAreCopiedOnlyWhenPresent) {
    CGCommaList list;
    list.AssignCopy("untouched");
    EXPECT_EQ(ReadAccountNames(P(), list), 0);
    EXPECT_STREQ(list.Text, "untouched");

    WriteProfileText("main", "accounts", "user1 - server1,server2", P());
    EXPECT_EQ(ReadAccountNames(P(), list), 1);
    EXPECT_EQ(list.Split(), 2);
    EXPECT_STREQ(list.Field(1), "server2");

    WriteProfileText("main", "accounts", nullptr, P());
    EXPECT_EQ(ReadFileBytes(Ini).find("accounts"), std::string::npos);
    list.AssignCopy("kept");
    EXPECT_EQ(ReadAccountNames(P(), list), 0);
    EXPECT_STREQ(list.Text, "kept");

    // Every list the writer can make (4095 characters at most) is read back whole.
    std::string many(4095, 'n');
    WriteProfileText("main", "accounts", many.c_str(), P());
    EXPECT_EQ(ReadAccountNames(P(), list), 1);
    EXPECT_EQ(std::string(list.Text), many);
    WriteProfileText("main", "accounts", (many + "nn").c_str(), P());
    EXPECT_EQ(ReadAccountNames(P(), list), 1);
    EXPECT_EQ(std::string(list.Text), many);
}

TEST_F(Settings, TextsReadBackWholeUpTo2047Bytes) {
    // Longer than anything the dialogs accept (256 characters, 768 bytes in UTF-8), so a
    // value typed there always survives.
    std::string longText(300, 'v');
    WriteProfileText("a", "server", longText.c_str(), P());
    EXPECT_EQ(ReadProfileText("a", "server", P()), longText);
    std::string letters;
    for (int i = 0; i < 256; ++i)
        letters += "\xE5\xAF\x86";
    WriteProfileText("a", "username", letters.c_str(), P());
    EXPECT_EQ(ReadProfileText("a", "username", P()), letters);
    WriteProfileText("a", "server", std::string(2500, 'w').c_str(), P());
    EXPECT_EQ(ReadProfileText("a", "server", P()), std::string(2047, 'w'));
    EXPECT_EQ(ReadProfileText("a", "absent", P()), "");
    EXPECT_EQ(ReadProfileText("a", "absent", nullptr), "");
}

TEST_F(Settings, TextsWithBlankOrQuoteEndsReadBackWhole) {
    const char* values[] = {" lead", "trail ", "\"quoted\"", "'single'", "\"",
                            "'",     "\"a'",   "  ",         "a\"",      "\t tab",
                            "x\x1A", "\"\"",   "plain",      "",         "in side",
                            "a=b",   "[x]",    ";c",         "\xC3\xA9", " \xC3\xA0 "};
    int i = 0;
    for (const char* v : values) {
        std::string key = "k" + std::to_string(i++);
        WriteProfileText("acc", key.c_str(), v, P());
        EXPECT_EQ(ReadProfileText("acc", key.c_str(), P()), v) << key;
    }
    // Values without such ends are stored exactly as before, so old files read the same.
    std::string file = ReadFileBytes(Ini);
    EXPECT_NE(file.find("k12=plain"), std::string::npos);
    EXPECT_NE(file.find("k14=in side"), std::string::npos);
    EXPECT_NE(file.find("k1=\"trail \""), std::string::npos);
    // A quoted value of 255 characters is cut only after its quotes are gone.
    std::string full = " " + std::string(253, 'q') + "\"";
    WriteProfileText("acc", "full", full.c_str(), P());
    EXPECT_EQ(ReadProfileText("acc", "full", P()), full);
}

TEST_F(Settings, ALineEndEndsTheWrittenValueInsteadOfForgingLines) {
    WriteProfileText("acc", "server", "host\r\n[main]\r\naccounts=forged", P());
    WriteProfileText("acc", "username", "bob\nx=1", P());
    EXPECT_EQ(ReadProfileText("acc", "server", P()), "host");
    EXPECT_EQ(ReadProfileText("acc", "username", P()), "bob");
    EXPECT_EQ(ReadProfileText("acc", "x", P()), "");
    CGCommaList list;
    EXPECT_EQ(ReadAccountNames(P(), list), 0);
}

TEST_F(Settings, WritersOnSeveralThreadsLoseNoValue) {
    ScopedSeams config(ConfigSeams);
    config->FlushWrites = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 25; ++i) {
                std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
                WriteProfileInt("acc", key.c_str(), i, P());
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i) {
            std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
            EXPECT_EQ(ReadProfileInt("acc", key.c_str(), -1, P()), i) << key;
        }
}

std::string Separator(const TempDir& dir) {
    return std::string(1, dir.File("x")[dir.Path().size()]);
}

TEST(DataPath, BuildsInsideTheProgramFolderAndCreatesIt) {
    TempDir dir;
    ScopedSeams config(ConfigSeams);
    config->DataFolder = dir.Path();
    std::string sep = Separator(dir);
    std::string folder = dir.Path() + sep + "varnocle";
    std::string path = "old";
    MakeDataPath("ini", "varnocle", path);
    EXPECT_EQ(path, folder + sep + "varnocle.ini");
    EXPECT_TRUE(FileExists(folder));
    MakeDataPath(nullptr, nullptr, path);
    EXPECT_EQ(path, folder);
    MakeDataPath("uidl", nullptr, path);
    EXPECT_EQ(path, folder + ".uidl");
    MakeDataPath(nullptr, "user - host", path);
    EXPECT_EQ(path, folder + sep + "user - host");
}

TEST(DataPath, WithoutARedirectionUsesTheUsersApplicationDataFolder) {
    ScopedSeams config(ConfigSeams);
    config->DataFolder.clear(); // the platform's
    std::string path;
#ifdef _WIN32
    MakeDataPath("ini", "varnocle", path);
    EXPECT_NE(path.find("\\AppData\\Roaming\\varnocle\\varnocle.ini"), std::string::npos) << path;
#else
    TempDir dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    MakeDataPath("ini", "varnocle", path);
    EXPECT_EQ(path, dir.Path() + "/varnocle/varnocle.ini");
    EXPECT_TRUE(FileExists(dir.Path() + "/varnocle"));
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
#endif
}

// Under Wine this binary runs with the program's manifest: its code page, UTF-8, is what
// makes the A functions and fopen take these bytes as the letters they are.
TEST(DataPath, AFolderNamedInLettersBeyondAsciiIsUsedUnderThatName) {
    TempDir dir;
    // "Jörg Пётр", as the roaming folder of a Windows user of that name.
    const std::string base =
        dir.Path() + Separator(dir) + "J\xC3\xB6rg \xD0\x9F\xD1\x91\xD1\x82\xD1\x80";
    auto named = [](const std::string& utf8) {
        return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
    };
    std::filesystem::create_directory(named(base));
    ScopedSeams config(ConfigSeams);
    config->DataFolder = base;
    std::string ini, seen;
    MakeDataPath("ini", "varnocle", ini);
    MakeDataPath("uidl", "Jos\xC3\xA9 - host", seen);
    EXPECT_EQ(WriteProfileText("Jos\xC3\xA9 - host", "username", "Jos\xC3\xA9", ini.c_str()), 1);
    EXPECT_EQ(ReadProfileText("Jos\xC3\xA9 - host", "username", ini.c_str()), "Jos\xC3\xA9");
    EXPECT_TRUE(std::filesystem::exists(named(ini))) << ini;
    // The seen files are opened with fopen.
    if (std::FILE* file = std::fopen(seen.c_str(), "w")) {
        std::fputs("id1\n", file);
        std::fclose(file);
    }
    EXPECT_TRUE(std::filesystem::exists(named(seen))) << seen;
}

TEST(DataPath, LongPathsAreCutAt259CharactersAndStillWork) {
    TempDir dir;
    std::string sep = Separator(dir);
    // A data folder of 240 characters: the settings path loses the end of its extension,
    // an account's identifier file most of its name; both are still usable files.
    std::string base = dir.Path() + sep + std::string(239 - dir.Path().size(), 'd');
    ASSERT_EQ(base.size(), 240u);
    std::filesystem::create_directory(base); // as the real application-data folder exists
    ScopedSeams config(ConfigSeams);
    config->DataFolder = base;
    std::string ini, uidl;
    MakeDataPath("ini", "varnocle", ini);
    MakeDataPath("uidl", std::string(300, 's').c_str(), uidl);
    EXPECT_EQ(ini.size(), 259u);
    EXPECT_EQ(ini, base + sep + "varnocle" + sep + "varnocle.");
    ASSERT_EQ(uidl.size(), 259u);
    EXPECT_EQ(uidl, base + sep + "varnocle" + sep + std::string(259 - 250, 's'));
    WriteProfileInt("position", "x", 17, ini.c_str());
    EXPECT_EQ(ReadProfileInt("position", "x", 0, ini.c_str()), 17);
    WriteFileBytes(uidl, "id1\n");
    EXPECT_EQ(ReadFileBytes(uidl), "id1\n");
    // Nine bytes are left for a name of two-byte letters: four of them, not half a fifth.
    std::string letters;
    for (int i = 0; i < 100; ++i)
        letters += "\xC3\xA9";
    MakeDataPath(nullptr, letters.c_str(), uidl);
    EXPECT_EQ(uidl, base + sep + "varnocle" + sep + letters.substr(0, 8));
}

} // namespace
