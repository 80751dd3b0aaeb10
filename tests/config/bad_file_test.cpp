// Settings files that were cut off, or are not text at all, read as far as they go: every
// value whose line is whole reads as written, every value not reached reads as its default.
#include "config/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

const char* const Full = "[main]\r\naccounts=user1 - server1,server2\r\n"
                         "[newmail]\r\nplaysound=true\r\ncustomsound=C:\\sounds\\ding.wav\r\n"
                         "changecolour=false\r\nnewmailcolour=1,2,3\r\n"
                         "[user1 - server1]\r\nserver=server1\r\nusername=user1\r\n"
                         "password=\" )ML\"\r\nSSL=false\r\nport=110\r\ncheckmins=10\r\n"
                         "[position]\r\nx=40\r\ny=50\r\nvisible=false\r\n";

// Every value the program reads, as text, whether given by the file or by the default.
struct Reading {
    std::string Key; // its line starts with Key=
    std::string Written;
    std::string Default;
    std::string (*Read)(const char* path);
};

std::string Accounts(const char* path) {
    CGCommaList list;
    return ReadAccountNames(path, list) ? list.Text : "";
}
std::string Colour(const char* path) {
    return std::to_string(ReadNewMailColour(path));
}

const std::vector<Reading>& Readings() {
    static const std::vector<Reading> r = {
        {"accounts=", "user1 - server1,server2", "", Accounts},
        {"playsound=", "1", "0",
         [](const char* p) {
             return std::to_string(ReadProfileBool("newmail", "playsound", 0, p));
         }},
        {"customsound=", "C:\\sounds\\ding.wav", "",
         [](const char* p) { return ReadProfileText("newmail", "customsound", p); }},
        {"changecolour=", "0", "1",
         [](const char* p) {
             return std::to_string(ReadProfileBool("newmail", "changecolour", 1, p));
         }},
        {"newmailcolour=", std::to_string(MakeColour(1, 2, 3)),
         std::to_string(DefaultNewMailColour), Colour},
        {"server=", "server1", "",
         [](const char* p) { return ReadProfileText("user1 - server1", "server", p); }},
        {"password=", " )ML", "",
         [](const char* p) { return ReadProfileText("user1 - server1", "password", p); }},
        {"SSL=", "0", "1",
         [](const char* p) {
             return std::to_string(ReadProfileBool("user1 - server1", "SSL", 1, p));
         }},
        {"port=", "110", "995",
         [](const char* p) {
             return std::to_string(ReadProfileInt("user1 - server1", "Port", 995, p));
         }},
        {"checkmins=", "10", "5",
         [](const char* p) {
             return std::to_string(ReadProfileInt("user1 - server1", "checkmins", 5, p));
         }},
        {"visible=", "0", "1",
         [](const char* p) {
             return std::to_string(ReadProfileBool("position", "visible", 1, p));
         }},
    };
    return r;
}

TEST(BadFiles, AFileCutAtAnyByteReadsAsFarAsItGoes) {
    TempDir dir;
    std::string full = Full;
    // Every cut inside the first sections; then every 7th byte, which still lands in every
    // line of the rest (the platform's reader is slow to start on each new file).
    for (size_t cut = 0; cut <= full.size(); cut += (cut < 120 ? 1 : 7)) {
        std::string prefix = full.substr(0, cut);
        // A new name per file: the platform may cache a file it has read.
        std::string path = dir.File("cut" + std::to_string(cut) + ".ini");
        WriteFileBytes(path, prefix);
        for (const Reading& r : Readings()) {
            size_t at = full.find("\n" + r.Key);
            ASSERT_NE(at, std::string::npos);
            size_t lineEnd = full.find('\r', at + 1);
            std::string got = r.Read(path.c_str());
            if (cut >= lineEnd) {
                EXPECT_EQ(got, r.Written) << r.Key << " cut at " << cut;
            } else if (cut <= at + 1) {
                EXPECT_EQ(got, r.Default) << r.Key << " cut at " << cut;
            }
        }
    }
}

TEST(BadFiles, FilesThatAreNotTextOrHaveHugeLinesGiveDefaultsNotCrashes) {
    TempDir dir;
    uint32_t seed = 99;
    std::string noise;
    for (int i = 0; i < 64 * 1024; ++i) {
        seed = seed * 1103515245u + 12345u;
        noise += static_cast<char>(seed >> 23);
    }
    noise[0] = 'x';
    std::string huge(100 * 1024, 'h');
    const std::vector<std::string> files = {
        noise,
        noise + "\n[user1 - server1]\nport=110\n" + noise,
        "[user1 - server1]\nserver=" + huge + "\nport=110\n",
        "[" + huge + "\n[user1 - server1]\nport=110\n",
        "[main]\naccounts=" + huge + "\n[user1 - server1]\nport=110\n" + huge,
        std::string(4096, '\0') + "\n[user1 - server1]\nport=110\n",
    };
    int index = 0;
    for (const std::string& bytes : files) {
        std::string path = dir.File("bad" + std::to_string(index++) + ".ini");
        WriteFileBytes(path, bytes);
        bool hasPort = bytes.find("port=110") != std::string::npos;
        EXPECT_EQ(ReadProfileInt("user1 - server1", "Port", 995, path.c_str()), hasPort ? 110 : 995)
            << index;
        EXPECT_EQ(ReadProfileBool("user1 - server1", "SSL", 1, path.c_str()), 1);
        EXPECT_LE(ReadProfileText("user1 - server1", "server", path.c_str()).size(), 2047u);
        CGCommaList list;
        if (ReadAccountNames(path.c_str(), list)) {
            EXPECT_LE(std::string(list.Text).size(), 4095u);
        }
        EXPECT_EQ(ReadNewMailColour(path.c_str()), DefaultNewMailColour);
    }
}

} // namespace
