// Times whole checks as the account thread makes them: connect (TLS when asked), the
// certificate judged, greeting (CAPA and STARTTLS on a plain port), USER, PASS (or SASL
// XOAUTH2 with a token), UIDL, the headers of new mail (TOP n 0 for at most five, as the
// notification's defaults want) and the bookkeeping. Prints one line per check: milliseconds,
// then the count.
//   bench_check HOST PORT USER PASSWORD TLS(0/1) RUNS [unexamined | headers | nagle]
//   bench_check HOST PORT USER PASSWORD TLS(0/1) RUNS TOKEN_USER ACCESS_TOKEN
// With a mode every run makes two checks side by side, so that both share the machine's mood,
// prints "ms-with ms-without count" per run and the ratio of the medians at the end:
//   unexamined  with the certificate examined and left unexamined (as before certificates
//               were checked);
//   headers     from a fresh start (every message new), with the headers of the five newest
//               read (TOP n 0) and without;
//   nagle       with TCP_NODELAY and without;
//   a signed-in user and its access token: logged in with the token and with the password.
// The trust store is the program's: the platform's roots and "cacert.pem" beside this file.
#include "mail/pop3_session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Way {
    bool Examine = true;
    bool NoDelay = true;
    int Headers = 1;
    const char* TokenUser = nullptr; // with Token: an XOAUTH2 login for this user
    const char* Token = nullptr;
};

// One check; its count, or -9 when it did not get to the listing.
int Check(CGPOP3Session& session, char** argv, Way way, double& ms) {
    const auto start = std::chrono::steady_clock::now();
    const int port = std::atoi(argv[2]);
    const int tls = std::atoi(argv[5]);
    session.Transport.ExaminePeer = way.Examine;
    session.Transport.NoDelay = way.NoDelay;
    int count = -9;
    bool in = false;
    if (way.Examine) {
        CGTlsGate gate; // trust on first use, then the pin
        static std::string pin;
        gate.CertPin = pin;
        in = session.Dialogue.Visit(argv[1], port, tls, way.Token ? way.TokenUser : argv[3],
                                    argv[4], gate, way.Token) == Pop3LoggedIn;
        pin = gate.CertPin;
    } else {
        in = session.Dialogue.Connect(argv[1], port, tls) && session.Dialogue.ReadGreeting() &&
             session.Dialogue.Login(argv[3], argv[4]);
    }
    if (in)
        count = session.ListUidls(way.Headers);
    session.Close();
    ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return count;
}

int SideBySide(char** argv, int runs, const std::string& mode) {
    Way with = {true, true, mode == "headers" ? 1 : 0};
    if (mode == "token") {
        with.TokenUser = argv[7];
        with.Token = argv[8];
    }
    const Way without = {mode != "unexamined", mode != "nagle", 0};
    const bool fresh = mode == "headers";
    CGPOP3Session kept;
    std::vector<double> first, second;
    for (int run = 0; run < runs; ++run) {
        // With headers, a fresh bookkeeping each time: every message is new, and the five
        // newest are asked. Each way goes first every other run.
        auto own = fresh ? std::make_unique<CGPOP3Session>() : nullptr;
        auto other = fresh ? std::make_unique<CGPOP3Session>() : nullptr;
        CGPOP3Session& a = fresh ? *own : kept;
        CGPOP3Session& b = fresh ? *other : kept;
        double msWith = 0, msWithout = 0;
        int countWith = 0, countWithout = 0;
        if (fresh && run % 2)
            countWithout = Check(b, argv, without, msWithout);
        countWith = Check(a, argv, with, msWith);
        if (!(fresh && run % 2))
            countWithout = Check(b, argv, without, msWithout);
        std::printf("%.2f %.2f %d\n", msWith, msWithout, countWith);
        std::fflush(stdout);
        if (countWith < 0 || countWithout < 0)
            return 1;
        first.push_back(msWith);
        second.push_back(msWithout);
    }
    const double base = Median(second);
    const char* what = mode == "nagle"     ? "TCP_NODELAY"
                       : mode == "headers" ? "five headers read"
                       : mode == "token"   ? "the token"
                                           : "the certificate examined";
    std::printf("median with %s %.2f ms, without %.2f ms, ratio %.3f\n", what, Median(first), base,
                base > 0 ? Median(first) / base : 0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool tokens = argc == 9;
    const std::string mode = argc == 8 ? argv[7] : tokens ? "token" : "";
    if ((argc < 7 || argc > 9) ||
        (argc == 8 && mode != "unexamined" && mode != "headers" && mode != "nagle")) {
        std::fprintf(stderr, "usage: bench_check HOST PORT USER PASSWORD TLS RUNS "
                             "[unexamined | headers | nagle | TOKEN_USER ACCESS_TOKEN]\n");
        return 2;
    }
    const int runs = std::atoi(argv[6]);
    if (!mode.empty())
        return SideBySide(argv, runs, mode);
    CGPOP3Session session;
    for (int run = 0; run < runs; ++run) {
        double ms = 0;
        const int count = Check(session, argv, Way(), ms);
        std::printf("%.2f %d\n", ms, count);
        std::fflush(stdout);
        if (count < 0)
            return 1;
    }
    return 0;
}
