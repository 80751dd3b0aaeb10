// Feeds arbitrary bytes to the POP3 reply reader, the multi-line gatherer (with and without
// a small bound) and the UIDL listing scan and bookkeeping, as if a server had sent them in
// pieces of a size chosen by the input; the listing scanned whole and as it streams in must
// agree. The same bytes also answer the capability and STARTTLS steps (a TLS handshake over
// whatever follows "+OK"), and decide a certificate for the trust rule, which must never let
// through a key that is neither verified nor pinned. They are also a header block to decode,
// and a listing with the replies to TOP that follow it: what comes out is clean one-line
// UTF-8 of bounded size, and never more headers than messages announced. They answer an
// XOAUTH2 login too, which sends at most its command, its one response line and an empty
// line.
#include "base/chunk_buffer.h"
#include "mail/encoded_words.h"
#include "mail/message_headers.h"
#include "mail/pop3_session.h"
#include "support/script_bio.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

void FuzzStartTls(const std::string& incoming, int piece, uint8_t flags) {
    auto state = std::make_shared<ScriptBioState>();
    state->Incoming = incoming;
    state->Piece = piece;
    CGPOP3Session session;
    session.Transport.Attach(NewScriptBio(state));
    CGTlsGate gate;
    gate.StartTls = flags & 1;
    gate.CertPin = (flags & 2) ? "ca" : "";
    gate.PlainLogin = (flags >> 2) & 1;
    const std::string pinBefore = gate.CertPin;
    const int result = session.Dialogue.NegotiateStartTls("fuzz.example", gate);
    // Whatever the bytes, going on means encrypted, or no offer where none is required, or
    // a failed switch the user chose to accept for a server that never used STARTTLS.
    if (result == 1 && !gate.UsedStartTls && (flags & 1))
        __builtin_trap();
    if (result == 1 && gate.StartTlsFailed && !(gate.PlainLogin && !(flags & 1)))
        __builtin_trap();
    // Nothing is adopted before a login.
    if (gate.CertPin != pinBefore || gate.Learned)
        __builtin_trap();
}

void FuzzXoauth2(const std::string& incoming, int piece) {
    auto state = std::make_shared<ScriptBioState>();
    state->Incoming = incoming;
    state->Piece = piece;
    CGPOP3Session session;
    session.Transport.Attach(NewScriptBio(state));
    session.Dialogue.Capabilities.RespCodes = piece & 1;
    const int taken = session.Dialogue.LoginXoauth2("u@example.com", "token");
    const std::string most =
        "AUTH XOAUTH2\r\ndXNlcj11QGV4YW1wbGUuY29tAWF1dGg9QmVhcmVyIHRva2VuAQE=\r\n\r\n";
    if (most.compare(0, state->Written.size(), state->Written) != 0)
        __builtin_trap();
    if (!taken && session.Dialogue.Refusal == Pop3LoggedIn)
        __builtin_trap();
}

void FuzzCertificateRule(const uint8_t* data, size_t size) {
    if (size < 3)
        return;
    static const char* const pins[] = {"", "ca", "aa", "bb"};
    CGTlsGate gate;
    gate.CertPin = pins[data[0] & 3];
    gate.Peer.Present = (data[0] >> 2) & 1;
    gate.Peer.Problem = data[1] % 6;
    gate.Peer.Pin = pins[2 + ((data[0] >> 3) & 1)];
    gate.AuthorityOnly = (data[2] >> 1) & 1;
    gate.NoFirstUse = (data[2] >> 2) & 1;
    if (data[0] & 0x40)
        gate.Ask = [&](const CGPeerCertificate&) { return static_cast<int>(data[2] & 1); };
    const CGTlsGate before = gate;
    const int go = JudgeCertificate(gate);
    const bool verified = gate.Peer.Present && gate.Peer.Problem == CertVerified;
    const bool open = gate.Peer.Present && !before.AuthorityOnly;
    const bool pinned = open && before.CertPin == gate.Peer.Pin;
    const bool firstUse = open && before.CertPin.empty() && !before.Ask && !before.NoFirstUse;
    const bool userSaidYes = open && before.Ask && (data[2] & 1);
    if (go && !(verified || pinned || firstUse || userSaidYes))
        __builtin_trap();
    // Only the user's yes changes the pin here; the rest waits for a login.
    if (gate.CertPin != before.CertPin && !(go && userSaidYes))
        __builtin_trap();
}

// Clean text stays as it is when cleaned again: valid UTF-8, no controls, within the bound.
bool CleanLine(const std::string& text) {
    return text.size() <= MaxHeaderText && CleanDisplayText(text, MaxHeaderText) == text;
}

void FuzzHeaders(const std::string& incoming, int piece) {
    const CGMessageHeaders headers = ParseMessageHeaders(incoming);
    if (!CleanLine(headers.Sender) || !CleanLine(headers.Subject))
        __builtin_trap();
    auto state = std::make_shared<ScriptBioState>();
    state->Incoming = incoming;
    state->Piece = piece;
    CGPOP3Session session;
    session.Transport.Attach(NewScriptBio(state));
    session.Dialogue.Capabilities.Top = 1;
    if (session.ListUidls(1) < 0)
        return;
    CGNewMailNote note;
    session.TakeNewMail(&note);
    if (note.Headers.size() > CGPOP3Session::MaxNoteHeaders ||
        note.Headers.size() > static_cast<std::size_t>(note.Count))
        __builtin_trap();
    for (const CGMessageHeaders& h : note.Headers)
        if (!CleanLine(h.Sender) || !CleanLine(h.Subject))
            __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    FuzzCertificateRule(data, size);
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
    FuzzStartTls(state->Incoming, piece, data[1]);
    FuzzHeaders(state->Incoming, piece);
    FuzzXoauth2(state->Incoming, piece);
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
