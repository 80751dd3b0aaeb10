#include "build_config.h"
#include "update/checker_thread.h"
#include "update/version_file.h"

// Natively there is no version record: the build's version stands in for it.
CGUpdateEnvironment DefaultUpdateEnvironment() {
    CGUpdateEnvironment e;
    e.Host = VARNOCLE_UPDATE_HOST;
    e.DownloadPage = VARNOCLE_DOWNLOAD_PAGE;
    e.LocalVersion = [](int& key) {
        key = VersionKey(VARNOCLE_VERSION_MAJOR, VARNOCLE_VERSION_MINOR, VARNOCLE_VERSION_PATCH,
                         VARNOCLE_VERSION_TWEAK);
        return 1;
    };
    return e;
}
