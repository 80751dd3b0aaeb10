#pragma once

#include <string>

// One corpus of hand-written settings files and store operations, run through whichever
// store the platform has. The transcript lists every read and write with its result; both
// backends must produce the same transcript.
std::string RunStoreCorpus(const std::string& folder);
