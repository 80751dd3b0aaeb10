#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CGSslConnection;

// The line side of POP3 over one connection: status replies and multi-line bodies, read in
// large pieces and binary safe. What a read brings beyond the step that asked for it stays
// buffered for the next step on the same connection; a new connection (Connect, Attach or
// Close on the transport) drops it.
class CGPop3Reader {
public:
    // The most a multi-line body may hold, terminating line included: about 2.5 million
    // listing lines, far beyond any real mailbox. A server (or anyone in between) that sends
    // more is not followed any further.
    static constexpr std::size_t MaxBodyBytes = 64 * 1024 * 1024;

    explicit CGPop3Reader(CGSslConnection& connection);

    // One status reply: 0 = "+OK", -2 = "-ERR Exceeded the login limit...", -1 = any other
    // reply or a connection that failed before the reply was complete. restOut, when given,
    // receives the rest of a "+OK" line. An error line is read only as far as it takes to
    // tell the login limit from the rest, since the attempt usually ends there; wholeLine
    // reads it to its end, for a conversation that goes on after a refusal.
    int ReadStatus(std::string* restOut, bool wholeLine = false);
    // One status reply read to its end, whatever it is: the same results, and line receives
    // it without its line end (at most MaxReplyText bytes kept), so that a refusal can be
    // told by its response code.
    int ReadStatusLine(std::string& line);
    static constexpr std::size_t MaxReplyText = 1024;

    // Receives the pieces of a body in order, terminating line included. A NUL arrives as a
    // blank, so that it can hide neither the lines after it nor the end of the body.
    using BodySink = std::function<void(const char* piece, std::size_t length)>;
    // Reads a multi-line body up to and including the terminating "." line, wherever the
    // reads break it. 1 when it arrived, 0 when the connection failed first, -1 when the body
    // grew past limit bytes without ending (nothing past the limit is handed on).
    int ReadBody(const BodySink& sink, std::size_t limit = MaxBodyBytes);

    // What has arrived and no step has taken yet.
    std::string_view Buffered() const;
    // Whether a read of this connection failed or found it closed: tells a refusal from a
    // server that went away, where both end a step with -1.
    bool ConnectionFailed() const;

private:
    static constexpr std::size_t Capacity = 32 * 1024;

    // Forgets the bytes of a connection that has gone.
    void FollowConnection();
    std::size_t Available() const { return End - Begin; }
    // One read of the connection appended to the buffer; 0 when it failed or closed.
    int Fill();
    // The rest of the current line, its end included, to restOut when given (up to limit
    // bytes of it; the rest is read and dropped); 0 when it arrived, -1 when the connection
    // failed first.
    int ReadRestOfLine(std::string* restOut, std::size_t limit);
    // ReadStatus and ReadStatusLine: the rest of a "+OK" line goes to okText, an error line
    // from its start to errorText (each when given, up to limit bytes).
    int ReadReply(std::string* okText, std::string* errorText, bool wholeLine, std::size_t limit);
    // ended: whether the line's end was taken with it; what was taken goes to taken.
    int ReadErrorLine(bool& ended, std::string* taken = nullptr);

    CGSslConnection& Connection; // not owned: the session's or the probe's transport
    std::unique_ptr<char[]> Buffer;
    std::size_t Begin = 0; // the first byte not yet taken
    std::size_t End = 0;   // the end of what has arrived
    unsigned long long Serial = 0;
    bool Broken = false; // a read of the connection of Serial failed
};
