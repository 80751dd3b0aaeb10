// The native store and the platform's private-profile functions must agree: both run the
// same corpus and must produce the checked-in transcript, which was taken from the Win32
// functions under Wine. Set VARNOCLE_STORE_TRANSCRIPT to a file name to write the
// transcript there instead of comparing.
#include "store_corpus.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#ifndef VARNOCLE_STORE_EXPECTED
#error "the build names the expected transcript"
#endif

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::string ExpectedPath() {
    std::string path = VARNOCLE_STORE_EXPECTED;
#ifdef _WIN32
    // The source tree is on the host's file system, which Wine shows as drive Z:.
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
#endif
    return path;
}

TEST(StoreDifferential, BothBackendsGiveTheSameTranscript) {
    TempDir dir;
    std::string got = RunStoreCorpus(dir.Path());
    if (const char* out = std::getenv("VARNOCLE_STORE_TRANSCRIPT")) {
        WriteFileBytes(out, got);
        GTEST_SKIP() << "transcript written to " << out;
    }
    std::string expectedText = ReadFileBytes(ExpectedPath());
    ASSERT_FALSE(expectedText.empty()) << ExpectedPath();
    std::vector<std::string> expected = Lines(expectedText);
    std::vector<std::string> actual = Lines(got);
    int shown = 0;
    for (size_t i = 0; i < expected.size() && i < actual.size() && shown < 20; ++i) {
        if (expected[i] != actual[i]) {
            ADD_FAILURE() << "line " << i + 1 << "\n  expected: " << expected[i]
                          << "\n  actual:   " << actual[i];
            ++shown;
        }
    }
    EXPECT_EQ(actual.size(), expected.size());
}

} // namespace
