// Times whole checks as the account thread makes them: connect (TLS when asked), the
// certificate judged, greeting (CAPA and STARTTLS on a plain port), USER, PASS, UIDL, the
// headers of new mail (TOP n 0 for at most five, as the notification's defaults want) and the
// bookkeeping. Prints one line per check: milliseconds, then the count.
//   bench_check HOST PORT USER PASSWORD TLS(0/1) RUNS [--unexamined | --headers]
// With an option every run makes two checks side by side, so that both share the machine's
// mood, prints "ms-with ms-without count" per run and the ratio of the medians at the end:
//   --unexamined  with the certificate examined and left unexamined (as before certificates
//                 were checked);
//   --headers     from a fresh start (every message new), with the headers of the five
//                 newest fetched (TOP n 0) and without.
// The working folder's "cacert.pem" is the trust store, as for the program.
#include "mail/pop3_session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Options {
    const char* Host;
    int Port;
    const char* User;
    const char* Password;
    int Tls;
};

// One check; its count, or -9 when it did not get to the listing.
int Check(CGPOP3Session& session, const Options& o, bool examine, int headers, double& ms) {
    const auto start = std::chrono::steady_clock::now();
    session.Transport.ExaminePeer = examine;
    int count = -9;
    bool in = false;
    if (examine) {
        CGTlsGate gate; // trust on first use, then the pin
        static std::string pin;
        gate.CertPin = pin;
        in =
            session.Dialogue.Visit(o.Host, o.Port, o.Tls, o.User, o.Password, gate) == Pop3LoggedIn;
        pin = gate.CertPin;
    } else {
        in = session.Dialogue.Connect(o.Host, o.Port, o.Tls) && session.Dialogue.ReadGreeting() &&
             session.Dialogue.Login(o.User, o.Password);
    }
    if (in)
        count = session.ListUidls(headers);
    session.Close();
    ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return count;
}

int SideBySide(const Options& o, int runs, bool headers) {
    CGPOP3Session kept;
    std::vector<double> first, second;
    for (int run = 0; run < runs; ++run) {
        double with = 0, without = 0;
        int a = 0, b = 0;
        if (headers) {
            // A fresh bookkeeping each time: every message is new, the five newest are asked.
            // Each goes first every other run.
            auto fetching = std::make_unique<CGPOP3Session>();
            auto counting = std::make_unique<CGPOP3Session>();
            if (run % 2) {
                b = Check(*counting, o, true, 0, without);
                a = Check(*fetching, o, true, 1, with);
            } else {
                a = Check(*fetching, o, true, 1, with);
                b = Check(*counting, o, true, 0, without);
            }
            CGNewMailNote note;
            fetching->TakeNewMail(&note);
            if (note.Headers.size() != std::min<std::size_t>(5, static_cast<std::size_t>(a)))
                std::fprintf(stderr, "only %zu headers read\n", note.Headers.size());
        } else {
            a = Check(kept, o, true, 0, with);
            b = Check(kept, o, false, 0, without);
        }
        std::printf("%.2f %.2f %d\n", with, without, a);
        std::fflush(stdout);
        if (a < 0 || b < 0)
            return 1;
        first.push_back(with);
        second.push_back(without);
    }
    const double base = Median(second);
    std::printf("median with %.2f ms, without %.2f ms, ratio %.3f\n", Median(first), base,
                base > 0 ? Median(first) / base : 0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const char* option = argc == 8 ? argv[7] : "";
    const bool unexamined = !std::strcmp(option, "--unexamined");
    const bool headers = !std::strcmp(option, "--headers");
    if ((argc != 7 && argc != 8) || (argc == 8 && !unexamined && !headers)) {
        std::fprintf(stderr, "usage: bench_check HOST PORT USER PASSWORD TLS RUNS "
                             "[--unexamined | --headers]\n");
        return 2;
    }
    const Options o{argv[1], std::atoi(argv[2]), argv[3], argv[4], std::atoi(argv[5])};
    const int runs = std::atoi(argv[6]);
    if (unexamined || headers)
        return SideBySide(o, runs, headers);
    CGPOP3Session session;
    for (int run = 0; run < runs; ++run) {
        double ms = 0;
        const int count = Check(session, o, true, 1, ms);
        std::printf("%.2f %d\n", ms, count);
        std::fflush(stdout);
        if (count < 0)
            return 1;
    }
    return 0;
}
