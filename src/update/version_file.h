#pragma once

// The version file is three comma-separated decimal numbers ("1,1,3": major, minor, build).

// Packs four version parts into one comparable number: each part shifted in by 8 bits,
// without masking, so parts of 256 or more overlap their neighbours.
int VersionKey(int p1, int p2, int p3, int p4);

// Splits body at every comma (blanks stay in the fields and are skipped by the conversion).
// 1 and the three numbers when body has exactly three fields none of which is -1.
int ParseVersionBody(const char* body, int& major, int& minor, int& build);
