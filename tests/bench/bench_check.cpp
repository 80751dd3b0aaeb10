// Times whole checks as the account thread makes them: connect (TLS when asked), greeting,
// USER, PASS, UIDL and the bookkeeping. Prints one line per check, in milliseconds.
//   bench_check HOST PORT USER PASSWORD TLS(0/1) RUNS
#include "mail/pop3_session.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: bench_check HOST PORT USER PASSWORD TLS RUNS\n");
        return 2;
    }
    const int port = std::atoi(argv[2]);
    const int tls = std::atoi(argv[5]);
    const int runs = std::atoi(argv[6]);
    CGPOP3Session session;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        int count = -9;
        if (session.Dialogue.Visit(argv[1], port, tls, argv[3], argv[4]) == Pop3LoggedIn)
            count = session.ListUidls();
        session.Close();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        std::printf("%.2f %d\n", ms, count);
        std::fflush(stdout);
        if (count < 0)
            return 1;
    }
    return 0;
}
