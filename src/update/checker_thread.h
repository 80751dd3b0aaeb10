#pragma once

#include "mail/notify_sink.h"
#include "mail/thread.h"

#include <functional>
#include <mutex>
#include <string>

// Fetches http://host/version.txt over plain HTTP on port 80; 1 with its body when it came
// whole.
int FetchVersionOverHttp(const std::string& host, std::string& body);

// What the version check needs from its surroundings. The program uses the defaults of
// DefaultUpdateEnvironment() and puts its own question in; tests put their own host, version,
// fetch and answers in.
struct CGUpdateEnvironment {
    std::string Host;         // asked for /version.txt on port 80
    std::string DownloadPage; // opened when the user wants the new version
    // The program's own version key (VersionKey of its four parts); 1 when known.
    std::function<int(int& key)> LocalVersion;
    std::function<int(const std::string& host, std::string& body)> Fetch = FetchVersionOverHttp;
    // Asks a yes/no question; 1 when the answer is yes. Unset: nobody to ask.
    std::function<int(const char* text, const char* caption)> AskYesNo;
    std::function<void(const char* address)> OpenPage;
};

// The build's update host and download page and the program's own version record.
CGUpdateEnvironment DefaultUpdateEnvironment();

// Once per start: fetches the version file on its own thread and, when it names a newer
// version, keeps the question and tells the sink. The question is asked by AnswerOffer, on
// the thread that owns the windows; the check never waits for an answer. Every failure ends
// the check silently.
class CCheckerThread : public CGThread {
public:
    CCheckerThread() : Environment(DefaultUpdateEnvironment()) {}
    explicit CCheckerThread(CGUpdateEnvironment environment)
        : Environment(std::move(environment)) {}
    ~CCheckerThread() override { Stop(); }

    void Run() override;
    // Compares a version file's body with the own version and offers a newer one.
    void OfferIfNewer(const char* body);
    // After the sink's message: asks the question the check found, once, and opens the
    // download page on yes. Nothing when there is none.
    void AnswerOffer();
    // Where the offer is announced, and with which message. No call reaches the sink once
    // DetachSink has returned.
    void AttachSink(CGNotifySink* sink, unsigned message);
    void DetachSink();

    CGUpdateEnvironment Environment; // set before Start()

private:
    std::mutex Guard;             // over Question and Sink
    std::string Question;         // a newer version's question, until it is asked
    CGNotifySink* Sink = nullptr; // not owned
    unsigned Message = 0;
};
