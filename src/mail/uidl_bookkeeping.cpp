#include "mail/uidl_bookkeeping.h"

#include "base/scan.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

// Longest UIDL kept from a listing line (the standard allows 70).
constexpr std::size_t MaxUidl = 1023;

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// IsSpace for every byte, looked up: a listing is scanned byte by byte.
struct SpaceTable {
    bool Is[256];
    SpaceTable() {
        for (int c = 0; c < 256; ++c)
            Is[c] = IsSpace(static_cast<char>(c));
    }
    bool operator()(char c) const { return Is[static_cast<unsigned char>(c)]; }
};
const SpaceTable Space;

} // namespace

void CGMessageNumbers::Note(std::size_t position, std::uint64_t number) {
    if (position >= GaveUpAt)
        return;
    if (!Runs.empty()) {
        const Run& last = Runs.back();
        const bool unknown = last.Number == 0 && number == 0;
        if (unknown || (last.Number != 0 && last.Number + (position - last.Position) == number))
            return;
    }
    if (Runs.size() == MaxRuns) {
        GaveUpAt = position;
        return;
    }
    Runs.push_back({position, number});
}

std::uint64_t CGMessageNumbers::At(std::size_t position) const {
    if (position >= GaveUpAt)
        return 0;
    auto after = std::upper_bound(Runs.begin(), Runs.end(), position,
                                  [](std::size_t p, const Run& r) { return p < r.Position; });
    if (after == Runs.begin())
        return 0;
    const Run& run = *(after - 1);
    return run.Number == 0 ? 0 : run.Number + (position - run.Position);
}

void CGListingScanner::Add(const char* piece, std::size_t length) {
    const char* p = piece;
    const char* const end = piece + length;
    while (p < end) {
        if (At == Phase::Skip) {
            // The rest of a line that holds no UIDL (or whose UIDL is taken): to its end.
            const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            if (!lf)
                return;
            p = static_cast<const char*>(lf);
        } else if (At == Phase::Word) {
            const char* word = p;
            while (p < end && !Space(*p))
                ++p;
            const std::size_t room = MaxUidl - Word.size();
            Word.append(word, std::min(room, static_cast<std::size_t>(p - word)));
            if (p == end)
                return;
        }
        Step(*p++);
    }
}

int CGListingScanner::Finish() {
    if (At == Phase::Word)
        EndWord();
    At = Phase::Lead;
    return Added;
}

void CGListingScanner::EndWord() {
    Into.Push(Word);
    Word.clear();
    if (Numbers)
        Numbers->Note(static_cast<std::size_t>(Added), NumberBad ? 0 : Number);
    ++Added;
}

void CGListingScanner::AddDigit(char c) {
    // Message numbers beyond 32 bits are no numbers a server gives.
    Number = Number * 10 + static_cast<std::uint64_t>(c - '0');
    if (Number > 0xFFFFFFFFu) {
        NumberBad = true;
        Number = 0;
    }
}

// One byte of "<blanks> [sign] <digits> <blanks> <word> <anything>" per line.
void CGListingScanner::Step(char c) {
    if (c == '\n') {
        if (At == Phase::Word)
            EndWord();
        At = Phase::Lead;
        return;
    }
    const bool space = Space(c);
    switch (At) {
    case Phase::Lead:
        if (space)
            return;
        Number = 0;
        NumberBad = c == '-';
        At = (c == '+' || c == '-') ? Phase::Sign : IsDigit(c) ? Phase::Digits : Phase::Skip;
        if (At == Phase::Digits)
            AddDigit(c);
        return;
    case Phase::Sign:
        At = IsDigit(c) ? Phase::Digits : Phase::Skip;
        if (At == Phase::Digits)
            AddDigit(c);
        return;
    case Phase::Digits:
    case Phase::Gap:
        if (space)
            At = Phase::Gap;
        else if (At == Phase::Gap || !IsDigit(c))
            At = Phase::Word; // the number may touch the word
        else
            AddDigit(c);
        if (At == Phase::Word)
            Word.push_back(c);
        return;
    case Phase::Word:
        if (space) {
            EndWord();
            At = Phase::Skip;
        } else if (Word.size() < MaxUidl) {
            Word.push_back(c);
        }
        return;
    case Phase::Skip:
        return;
    }
}

int ScanListing(const char* body, CGUidlList& out) {
    CGListingScanner scanner(out);
    scanner.Add(body, std::strlen(body));
    return scanner.Finish();
}

std::vector<std::size_t> CGUidlBookkeeping::NewestToAnnounce(const CGUidlList& current,
                                                             std::size_t max) const {
    std::vector<std::size_t> newest;
    std::size_t at = 0;
    current.ForEachWhile([&](std::string_view uidl) {
        if (newest.size() == max)
            return false;
        if (!SeenUidls.Contains(uidl) && !NotifiedUidls.Contains(uidl))
            newest.push_back(at);
        ++at;
        return true;
    });
    return newest;
}

int CGUidlBookkeeping::TakeNewMail(CGNewMailNote* note) {
    const int value = NewMailValue;
    if (note)
        *note = std::move(Note);
    ClearNewMail();
    return value;
}

int CGUidlBookkeeping::Apply(CGUidlList current, std::vector<Fetched> headers) {
    // First which messages are unread and not announced yet, so that the announced list
    // grows once, to its size.
    std::vector<bool> fresh(current.Count());
    std::size_t freshCount = 0;
    std::size_t at = 0;
    int unread = 0;
    current.ForEach([&](std::string_view uidl) {
        if (!SeenUidls.Contains(uidl)) {
            ++unread;
            if (!NotifiedUidls.Contains(uidl)) {
                fresh[at] = true;
                ++freshCount;
            }
        }
        ++at;
    });
    NotifiedUidls.Reserve(NotifiedUidls.Count() + freshCount);
    at = 0;
    int announced = 0;
    current.ForEach([&](std::string_view uidl) {
        if (fresh[at] && !NotifiedUidls.Contains(uidl)) { // a repeated UIDL is announced once
            NotifiedUidls.Push(uidl);
            ++announced;
        } else {
            fresh[at] = false;
        }
        ++at;
    });
    NewMailValue = announced > 0 ? 1 : 0;
    Note = CGNewMailNote();
    Note.Count = announced;
    for (Fetched& f : headers)
        if (f.Position < fresh.size() && fresh[f.Position])
            Note.Headers.push_back(std::move(f.Headers));
    SeenUidls.KeepOnly(current); // what the user read and has since left the server
    MessageCountValue = static_cast<int>(current.Count());
    CurrentUidls = std::move(current);
    UnreadCountValue = unread;
    return MessageCountValue;
}

void CGUidlBookkeeping::MarkAllSeen() {
    CurrentUidls.ForEach([&](std::string_view uidl) {
        if (!SeenUidls.Contains(uidl))
            SeenUidls.Push(uidl);
    });
    NotifiedUidls.Clear();
    UnreadCountValue = 0;
}

CGUidlList ReadSeenFile(std::FILE* file) {
    CGUidlList seen;
    char line[1024];
    while (std::fgets(line, sizeof line, file)) {
        std::size_t length = std::strlen(line);
        if (length > 0 && line[length - 1] == '\n') {
            line[--length] = 0;
        } else if (length == sizeof line - 1) {
            // A line of exactly 1023 characters is one entry, not that and an empty one.
            const int next = std::fgetc(file);
            if (next != '\n' && next != EOF)
                std::ungetc(next, file);
        }
        seen.Push(std::string_view(line, length));
    }
    return seen;
}

int WriteSeenFile(std::FILE* file, const CGUidlList& seen) {
    int ok = 1;
    seen.ForEach([&](std::string_view uidl) {
        if (std::fprintf(file, "%.*s\n", static_cast<int>(uidl.size()), uidl.data()) < 0)
            ok = 0;
    });
    return ok;
}
