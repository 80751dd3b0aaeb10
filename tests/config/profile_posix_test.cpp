// The native store's file handling: edits keep the rest of the file, and the file is
// replaced whole.
#include "config/profile.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {

TEST(NativeStore, EditsKeepCommentsLayoutAndLineEndsOfUntouchedLines) {
    TempDir dir;
    std::string ini = dir.File("a.ini");
    WriteFileBytes(ini, "; settings\n[main]\r\naccounts=a\n\n[a]\nserver = old \n; end");
    EXPECT_EQ(ProfileWriteString("A", "SERVER", "new", ini.c_str()), 1);
    EXPECT_EQ(ProfileWriteString("a", "port", "110", ini.c_str()), 1);
    EXPECT_EQ(ProfileWriteString("main", "accounts", nullptr, ini.c_str()), 1);
    EXPECT_EQ(ProfileWriteString("new", "k", "v", ini.c_str()), 1);
    EXPECT_EQ(ReadFileBytes(ini),
              "; settings\n[main]\r\n[a]\nserver=new\n; end\r\nport=110\r\n[new]\r\nk=v\r\n");
}

TEST(NativeStore, WritesReplaceTheFileWholeAndLeaveNothingBehind) {
    TempDir dir;
    std::string ini = dir.File("a.ini");
    WriteFileBytes(ini, "[a]\nk=1\n");
    ::chmod(ini.c_str(), 0640);
    auto before = std::filesystem::status(ini).permissions();
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(ProfileWriteString("a", "k", std::to_string(i).c_str(), ini.c_str()), 1);
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1) << "no temporary file stays beside the settings";
    EXPECT_EQ(std::filesystem::status(ini).permissions(), before);
    EXPECT_EQ(ReadFileBytes(ini), "[a]\nk=19\n");

    // A folder that does not exist: the write fails and creates nothing.
    std::string lost = dir.File("missing/a.ini");
    EXPECT_EQ(ProfileWriteString("a", "k", "v", lost.c_str()), 0);
    EXPECT_FALSE(FileExists(lost));
    EXPECT_EQ(ProfileWriteString("a", "k", "v", nullptr), 0);
}

} // namespace
