// Cost of one listing's bookkeeping (the body has arrived; scan, unread and new-mail tests,
// pruning) and of a whole listing read through a connection, for 1,000 to 1,000,000 UIDLs
// with half of them marked read. Both must grow linearly.
#include "mail/pop3_session.h"
#include "support/script_bio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

std::string Uidl(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "%08Xu%08Xv", i + 1, 0x6b16aac1); // as Dovecot makes them
    return text;
}

std::string Body(int n) {
    std::string body;
    body.reserve(static_cast<std::size_t>(n) * 28);
    for (int i = 0; i < n; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%d %s\r\n", i + 1, Uidl(i).c_str());
        body += line;
    }
    body += ".\r\n";
    return body;
}

void HalfSeen(CGPOP3Session& s, int n) {
    CGUidlList seen;
    for (int i = 0; i < n; i += 2)
        seen.Push(Uidl(i));
    s.ReplaceSeenUidls(std::move(seen));
}

void ListingBookkeeping(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string body = Body(n);
    CGPOP3Session s;
    HalfSeen(s, n);
    s.ApplyListing(body.c_str()); // the unread half is announced once, as in the program
    for (auto _ : state)
        benchmark::DoNotOptimize(s.ApplyListing(body.c_str()));
    state.SetComplexityN(n);
}
BENCHMARK(ListingBookkeeping)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void WholeListingFromConnection(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string reply = "+OK\r\n" + Body(n);
    CGPOP3Session s;
    HalfSeen(s, n);
    for (auto _ : state) {
        auto script = std::make_shared<ScriptBioState>();
        script->Incoming = reply;
        s.Transport.Attach(NewScriptBio(script));
        benchmark::DoNotOptimize(s.ListUidls());
    }
    state.SetComplexityN(n);
}
BENCHMARK(WholeListingFromConnection)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
