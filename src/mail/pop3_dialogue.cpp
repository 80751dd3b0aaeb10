#include "mail/pop3_dialogue.h"

#include "mail/uidl_bookkeeping.h"
#include "net/ssl_connection.h"

namespace {

// A command line holds 255 characters with its CR LF (the longest a POP3 server must take).
constexpr std::size_t MaxCommandText = 253;

} // namespace

CGPop3Dialogue::CGPop3Dialogue(CGSslConnection& connection)
    : Reader(connection), Connection(connection) {}

int CGPop3Dialogue::Connect(const char* host, int port, int useSSL) {
    return Connection.Connect(host, port, useSSL);
}

int CGPop3Dialogue::ReadGreeting() {
    return Reader.ReadStatus(nullptr) == 0 ? 1 : 0;
}

int CGPop3Dialogue::Login(const char* user, const char* password) {
    return SendCommand("USER", user) && Reader.ReadStatus(nullptr) == 0 &&
                   SendCommand("PASS", password) && Reader.ReadStatus(nullptr) == 0
               ? 1
               : 0;
}

int CGPop3Dialogue::RequestListing() {
    if (!SendCommand("UIDL", nullptr))
        return -1;
    return Reader.ReadStatus(nullptr);
}

int CGPop3Dialogue::ReceiveListing(CGUidlList& into, std::size_t limit) {
    CGListingScanner scanner(into);
    const int result =
        Reader.ReadBody([&](const char* piece, std::size_t n) { scanner.Add(piece, n); }, limit);
    scanner.Finish();
    return result;
}

int CGPop3Dialogue::Visit(const char* host, int port, int useSSL, const char* user,
                          const char* password) {
    if (!Connect(host, port, useSSL) || !ReadGreeting())
        return Pop3NotReached;
    return Login(user, password) ? Pop3LoggedIn : Pop3LoginRefused;
}

int CGPop3Dialogue::SendCommand(const char* verb, const char* argument) {
    std::string line = verb ? verb : "";
    if (argument) {
        line += ' ';
        line += argument;
    }
    // A line without its end would leave the server waiting for the rest.
    if (line.size() > MaxCommandText)
        line.resize(MaxCommandText);
    line += "\r\n";
    const int length = static_cast<int>(line.size());
    return Connection.Write(line.data(), length) == length ? 1 : 0;
}
