#pragma once

#include "mail/thread.h"

#include <functional>
#include <string>

// What the version check needs from its surroundings. The program uses the defaults of
// DefaultUpdateEnvironment(); tests put their own host, version and answers in.
struct CGUpdateEnvironment {
    std::string Host;         // asked for /version.txt on port 80
    std::string DownloadPage; // opened when the user wants the new version
    // The program's own version key (VersionKey of its four parts); 1 when known.
    std::function<int(int& key)> LocalVersion;
    // Asks a yes/no question; 1 when the answer is yes.
    std::function<int(const char* text, const char* caption)> AskYesNo;
    std::function<void(const char* address)> OpenPage;
};

// The build's update host and download page, the program's own version record, a message
// box and the shell's "open".
CGUpdateEnvironment DefaultUpdateEnvironment();

// Once per start: fetches the version file and, when it names a newer version, offers the
// download page. Every failure ends the check silently.
class CCheckerThread : public CGThread {
public:
    CCheckerThread() : Environment(DefaultUpdateEnvironment()) {}
    explicit CCheckerThread(CGUpdateEnvironment environment)
        : Environment(std::move(environment)) {}
    // Waits for the check, and so for an open question to be answered.
    ~CCheckerThread() override { Stop(); }

    void Run() override;
    // Compares a version file's body with the own version and asks about a newer one.
    void OfferIfNewer(const char* body);

    CGUpdateEnvironment Environment; // set before Start()
};
