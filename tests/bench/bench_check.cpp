// Times whole checks as the account thread makes them: connect (TLS when asked), the
// certificate judged, greeting (CAPA and STARTTLS on a plain port), USER, PASS, UIDL and the
// bookkeeping. Each run also times the same check with the certificate left unexamined, as
// before certificates were checked, or with "nagle" the checks with TCP_NODELAY left off, so
// that both share the machine's mood. Prints one line per run in milliseconds, then the
// ratio of the medians.
//   bench_check HOST PORT USER PASSWORD TLS(0/1) RUNS [nagle]
// With a signed-in user and its access token instead of "nagle", each run times the password
// check and the same check logged in with the token (SASL XOAUTH2), and the ratio is theirs.
//   bench_check HOST PORT USER PASSWORD TLS(0/1) RUNS TOKEN_USER ACCESS_TOKEN
// The trust store is the program's: the platform's roots and "cacert.pem" beside this file.
#include "mail/pop3_session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One check; its count, or -9 when it did not get to the listing. With bearer, the login is
// XOAUTH2 for user.
int Check(CGPOP3Session& session, char** argv, bool examine, bool noDelay, double& ms,
          const char* user = nullptr, const char* bearer = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    const int port = std::atoi(argv[2]);
    const int tls = std::atoi(argv[5]);
    session.Transport.ExaminePeer = examine;
    session.Transport.NoDelay = noDelay;
    int count = -9;
    bool in = false;
    if (examine) {
        CGTlsGate gate; // trust on first use, then the pin
        static std::string pin;
        gate.CertPin = pin;
        in = session.Dialogue.Visit(argv[1], port, tls, bearer ? user : argv[3], argv[4], gate,
                                    bearer) == Pop3LoggedIn;
        pin = gate.CertPin;
    } else {
        in = session.Dialogue.Connect(argv[1], port, tls) && session.Dialogue.ReadGreeting() &&
             session.Dialogue.Login(argv[3], argv[4]);
    }
    if (in)
        count = session.ListUidls();
    session.Close();
    ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return count;
}

} // namespace

int main(int argc, char** argv) {
    const bool nagle = argc == 8 && std::string(argv[7]) == "nagle";
    const bool tokens = argc == 9;
    if (argc != 7 && !nagle && !tokens) {
        std::fprintf(stderr, "usage: bench_check HOST PORT USER PASSWORD TLS RUNS "
                             "[nagle | TOKEN_USER ACCESS_TOKEN]\n");
        return 2;
    }
    const int runs = std::atoi(argv[6]);
    CGPOP3Session session;
    std::vector<double> examined, unexamined;
    for (int run = 0; run < runs; ++run) {
        double with = 0, without = 0;
        // "with": the token's check when timing tokens; "without": the password's.
        const int a = tokens ? Check(session, argv, true, true, with, argv[7], argv[8])
                             : Check(session, argv, true, true, with);
        const int b = Check(session, argv, nagle || tokens, !nagle, without);
        std::printf("%.2f %.2f %d\n", with, without, a);
        std::fflush(stdout);
        if (a < 0 || b < 0)
            return 1;
        examined.push_back(with);
        unexamined.push_back(without);
    }
    const double base = Median(unexamined);
    const char* kind = tokens ? "the token" : nagle ? "TCP_NODELAY" : "the certificate examined";
    std::printf("median with %s %.2f ms, without %.2f ms, ratio %.3f\n", kind, Median(examined),
                base, base > 0 ? Median(examined) / base : 0);
    return 0;
}
