#pragma once

#include <cstdio>

// Pushes what was written to file down to the disk; 1 on success.
int FlushToDisk(std::FILE* file);
// Renames from over to in one step (replacing an existing file); 1 on success.
int ReplaceFileAtomically(const char* from, const char* to);
