#pragma once

#include "mail/pop3_reader.h"

#include <string>

class CGSslConnection;
class CGUidlList;

// How far a visit to a mailbox got (CGPop3Dialogue::Visit).
enum : int {
    Pop3NotReached = 0,   // no connection, or no positive greeting
    Pop3LoginRefused = 1, // a POP3 server, which did not take the user name and password
    Pop3LoggedIn = 2,
};

// The client's side of a POP3 conversation, as explicit steps over one connection: connect,
// greeting, USER and PASS, UIDL and its listing. The checking thread and the server probe
// both go through it. Never sends QUIT: closing the connection ends the conversation.
class CGPop3Dialogue {
public:
    explicit CGPop3Dialogue(CGSslConnection& connection);

    // The steps, in the order a visit takes them.
    // Connects (with a TLS handshake when useSSL is non-zero); 1 when connected.
    int Connect(const char* host, int port, int useSSL);
    // 1 when the server greeted with "+OK".
    int ReadGreeting();
    // USER, then PASS; 1 when both were accepted. Null texts go as bare verbs.
    int Login(const char* user, const char* password);
    // Sends UIDL and reads the reply: 0 = the listing follows, -2 = refused with the login
    // limit, -1 = anything else.
    int RequestListing();
    // Streams the listing into into (a fresh table): 1 when it arrived whole, 0 when the
    // connection failed first, -1 when it grew past limit bytes.
    int ReceiveListing(CGUidlList& into, std::size_t limit = CGPop3Reader::MaxBodyBytes);

    // Connect, greeting and login: how far it got (Pop3NotReached ...).
    int Visit(const char* host, int port, int useSSL, const char* user, const char* password);

    // What the steps are made of.
    // Sends "verb argument\r\n" (or "verb\r\n" for a null argument); 1 when all was written.
    // An overlong line is cut, but keeps its CR LF.
    int SendCommand(const char* verb, const char* argument);
    CGPop3Reader Reader;

private:
    CGSslConnection& Connection; // not owned: the session's or the probe's transport
};
