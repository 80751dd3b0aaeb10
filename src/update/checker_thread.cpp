#include "update/checker_thread.h"

#include "update/socket_http.h"
#include "update/version_file.h"

#include <cstdio>

void CCheckerThread::Run() {
    CGSocketHTTP connection(Environment.Host.c_str());
    if (connection.FetchVersionFile() == 1)
        OfferIfNewer(connection.Buffer);
    connection.Close();
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
    if (Environment.AskYesNo && Environment.AskYesNo(prompt, "varnocle") == 1 &&
        Environment.OpenPage)
        Environment.OpenPage(Environment.DownloadPage.c_str());
}
