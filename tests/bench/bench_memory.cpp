// Memory of an account's bookkeeping holding 100,000 current and 100,000 seen UIDLs: heap in
// use afterwards (steady state) and the peak resident size while the listing is read and
// applied, both per UIDL.
//   bench_memory            that measurement
//   bench_memory endless    the peak of one whole check against a scripted server on
//                           loopback whose listing never ends
#include "mail/pop3_session.h"
#include "support/pop3_script_server.h"
#include "support/script_bio.h"

#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

long long HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long long>(m.uordblks + m.hblkhd);
}

long long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0)
            return std::stoll(line.substr(std::string(field).size()));
    return -1;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Logs in and answers UIDL with "1 x" lines until the client goes.
void StreamEndlessly(ScriptedPop3Server::Connection& c) {
    std::string l;
    if (!(c.Send("+OK\r\n") && c.ReadLine(l) && c.Send("+OK\r\n") && c.ReadLine(l) &&
          c.Send("+OK\r\n") && c.ReadLine(l) && c.Send("+OK\r\n")))
        return;
    std::string lines;
    for (int i = 0; i < 8192; ++i)
        lines += "1 x\r\n";
    while (c.Send(lines)) {
    }
}

int EndlessCheck() {
    const long long rssBefore = StatusKb("VmRSS:");
    ScriptedPop3Server server(StreamEndlessly);
    CGPOP3Session session;
    int result = -9;
    if (session.Connect("127.0.0.1", server.Port(), 0) && session.ReadReply() == 0 &&
        session.SendCommand("USER", "user") && session.ReadReply() == 0 &&
        session.SendCommand("PASS", "secret") && session.ReadReply() == 0)
        result = session.ListUidls();
    session.Close();
    std::printf("endless listing: ListUidls %d, bound %zu bytes\n", result,
                CGPOP3Session::MaxListingBytes);
    std::printf("peak resident: %lld KiB (%lld KiB above the start)\n", StatusKb("VmHWM:"),
                StatusKb("VmHWM:") - rssBefore);
    return result == -1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "endless")
        return EndlessCheck();
    const int n = 100000;
    std::string reply = "+OK\r\n";
    for (int i = 0; i < n; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%d %08Xu%08Xv\r\n", i + 1, i + 1, 0x6b16aac1);
        reply += line;
    }
    reply += ".\r\n";

    auto session = std::make_unique<CGPOP3Session>();
    malloc_trim(0);
    const long long heapBefore = HeapInUse();
    const long long rssBefore = StatusKb("VmRSS:");
    ResetPeak();
    auto script = std::make_shared<ScriptBioState>();
    script->Incoming = reply;
    session->Transport.Attach(NewScriptBio(script));
    if (session->ListUidls() != n)
        return 1;
    session->MarkAllSeen(); // now 100,000 current and 100,000 seen
    session->Close();
    script.reset();
    const long long peakKb = StatusKb("VmHWM:") - rssBefore;
    malloc_trim(0);
    const long long steady = HeapInUse() - heapBefore;
    std::printf("UIDLs: %d current, %d seen (%zu bytes of listing)\n", n, n, reply.size());
    std::printf("steady state: %lld bytes, %.1f bytes per UIDL held (%.1f per message)\n", steady,
                static_cast<double>(steady) / (2.0 * n), static_cast<double>(steady) / n);
    std::printf("peak while listing: %lld KiB above the start, %.1f bytes per message\n", peakKb,
                peakKb * 1024.0 / n);
    return 0;
}
