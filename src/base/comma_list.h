#pragma once

#include <memory>

// Quote characters for CGCommaList::SplitQuoted: the Close entry at position k ends a field
// that the Open entry at position k began.
struct CGQuotePairs {
    char Open[8] = {};
    char Close[8] = {};
    int Count = 0; // pairs in use, 0 to 8

    // The closer for an opening character, or 0 when ch opens no quote.
    char CloseFor(char ch) const;
};

// The longest text Append builds.
constexpr int MaxAccountListText = 4095;

// A comma-separated text split in place: splitting writes NUL bytes into Text, and Fields
// point into it.
struct CGCommaList {
    char* Text = nullptr;              // the text being split; not owned unless it is OwnedText
    std::unique_ptr<char*[]> Fields;   // Count pointers into Text
    char* Rest = nullptr;              // what the split did not consume, or null
    int Count = 0;                     // fields of the last split
    std::unique_ptr<char[]> OwnedText; // our own copy, when we made one

    CGCommaList() = default;
    CGCommaList(const CGCommaList&) = delete;
    CGCommaList& operator=(const CGCommaList&) = delete;

    // Makes our own copy of text and splits that from now on (null clears the text).
    void AssignCopy(const char* text);

    int CountQuoted(const CGQuotePairs& pairs) const;
    int SplitQuoted(const CGQuotePairs& pairs);
    // Splits at every comma, dropping blanks (space, tab) around the fields except at the
    // end of the last one.
    int Split();
    // Field index, Rest (or "") at index Count, null beyond.
    const char* Field(int index) const;
    // Appends ",item" (or item alone to an empty text), cutting the whole at MaxAccountListText
    // characters.
    void Append(const char* item);

private:
    // Resizes Fields for n fields; false when there is no array to split into.
    bool PrepareFields(int n);
};
