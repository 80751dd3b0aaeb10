// Feeds arbitrary bytes to the POP3 reply reader, the multi-line gatherer (with and without
// a small bound) and the UIDL listing scan and bookkeeping, as if a server had sent them in
// pieces of a size chosen by the input; the listing scanned whole and as it streams in must
// agree.
#include "base/chunk_buffer.h"
#include "mail/pop3_session.h"
#include "support/script_bio.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int piece = 1 + data[0] % 64;
    const int seenLines = data[1] % 8;
    auto state = std::make_shared<ScriptBioState>();
    state->Incoming.assign(reinterpret_cast<const char*>(data + 2), size - 2);
    state->Piece = piece;

    CGPOP3Session session;
    // A seen list made of the first lines of the input, so the bookkeeping has overlaps.
    CGUidlList seen;
    std::size_t at = 0;
    for (int i = 0; i < seenLines && at < state->Incoming.size(); ++i) {
        std::size_t lf = state->Incoming.find('\n', at);
        if (lf == std::string::npos)
            lf = state->Incoming.size();
        seen.Push(std::string_view(state->Incoming).substr(at, lf - at));
        at = lf + 1;
    }
    session.ReplaceSeenUidls(seen);
    session.Transport.Attach(NewScriptBio(state));

    // Greeting, then a listing over what is left; then the bookkeeping of the whole input.
    std::string rest;
    if (session.ReadReply(&rest) == 0)
        session.ListUidls();
    session.MarkAllSeen();
    CGChunkBuffer chunks;
    session.ReadMultiLine(chunks);
    // The whole input once more against a small bound, so that a refused listing is reached.
    auto again = std::make_shared<ScriptBioState>();
    again->Incoming = state->Incoming;
    again->Piece = piece;
    session.Transport.Attach(NewScriptBio(again));
    CGChunkBuffer bounded;
    session.ReadMultiLine(bounded, 1 + static_cast<std::size_t>(data[1] >> 3) * 16);
    session.ApplyListing(state->Incoming.c_str());
    CGUidlList scanned;
    ScanListing(state->Incoming.c_str(), scanned);
    // The listing as it streams in, cut into the input's pieces, finds the same UIDLs.
    const std::string text(state->Incoming.c_str()); // up to the first NUL, as the scan reads
    CGUidlList streamed;
    CGListingScanner scanner(streamed);
    for (std::size_t at = 0; at < text.size(); at += static_cast<std::size_t>(piece))
        scanner.Add(text.data() + at, std::min(static_cast<std::size_t>(piece), text.size() - at));
    scanner.Finish();
    std::vector<std::string_view> a, b;
    scanned.ForEach([&](std::string_view u) { a.push_back(u); });
    streamed.ForEach([&](std::string_view u) { b.push_back(u); });
    if (a != b)
        __builtin_trap();
    return 0;
}
