#include "update/checker_thread.h"

#include "update/socket_http.h"
#include "update/version_file.h"

#include <cstdio>

int FetchVersionOverHttp(const std::string& host, std::string& body) {
    CGSocketHTTP connection(host.c_str());
    if (connection.FetchVersionFile() != 1)
        return 0;
    body = connection.Buffer;
    return 1;
}

void CCheckerThread::Run() {
    std::string body;
    if (Environment.Fetch && Environment.Fetch(Environment.Host, body) == 1)
        OfferIfNewer(body.c_str());
}

void CCheckerThread::OfferIfNewer(const char* body) {
    int major = 0, minor = 0, build = 0;
    if (!ParseVersionBody(body, major, minor, build))
        return;
    int local = 0;
    if (!Environment.LocalVersion || Environment.LocalVersion(local) != 1)
        return;
    if (VersionKey(major, minor, build, 0) <= local)
        return;
    char prompt[256];
    std::snprintf(prompt, sizeof prompt, "New version %d.%dr%d is available, Get it?", major, minor,
                  build);
    std::lock_guard<std::mutex> lock(Guard);
    Question = prompt;
    if (Sink)
        Sink->Notify(Message);
}

void CCheckerThread::AnswerOffer() {
    std::string question;
    {
        std::lock_guard<std::mutex> lock(Guard);
        question.swap(Question);
    }
    if (question.empty() || !Environment.AskYesNo)
        return;
    if (Environment.AskYesNo(question.c_str(), "varnocle") == 1 && Environment.OpenPage)
        Environment.OpenPage(Environment.DownloadPage.c_str());
}

void CCheckerThread::AttachSink(CGNotifySink* sink, unsigned message) {
    std::lock_guard<std::mutex> lock(Guard);
    Sink = sink;
    Message = message;
}

void CCheckerThread::DetachSink() {
    std::lock_guard<std::mutex> lock(Guard);
    Sink = nullptr;
}
