#pragma once

// The settings file and seen files of a test, in a private data folder, and the accounts
// written to them.
#include "config/config_seams.h"
#include "config/profile.h"
#include "config/settings.h"
#include "mail/account_list.h"
#include "support/scoped_seams.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

namespace {

class Persist : public ::testing::Test {
protected:
    void SetUp() override {
        Config->DataFolder = Dir.Path();
        MakeDataPath("ini", "varnocle", Ini);
    }

    std::string Value(const char* section, const char* key) {
        return ReadProfileText(section, key, Ini.c_str());
    }
    // Whether the key is in the file at all (an empty value is there).
    bool Has(const char* section, const char* key) {
        char value[64];
        ProfileReadString(section, key, "<absent>", value, sizeof value, Ini.c_str());
        return std::string(value) != "<absent>";
    }
    // The seen list written for a section, as a set of lines.
    std::set<std::string> SeenLines(const char* section) {
        std::set<std::string> lines;
        std::istringstream text(ReadFileBytes(SeenPath(section)));
        for (std::string line; std::getline(text, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.insert(line);
        }
        return lines;
    }
    std::string SeenPath(const char* section) {
        std::string path;
        MakeDataPath("uidl", section, path);
        return path;
    }
    static CGAccount* Add(CAccountList& list, const char* user, const char* server,
                          const char* password, int ssl, int port, int minutes,
                          const char* program) {
        CGAccount* a = list.AddAccount();
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
    ScopedSeams<CConfigSeams> Config{ConfigSeams};
    std::string Ini;
};

} // namespace
