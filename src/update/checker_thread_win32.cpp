#include "build_config.h"
#include "update/checker_thread.h"
#include "update/version_file.h"

#include <windows.h>

#include <vector>

namespace {

// The file version from the version record of the program's own file; 1 when it has one.
int OwnFileVersion(int& key) {
    // Wide calls and a long buffer: a path outside the ANSI code page must not end the check.
    std::vector<wchar_t> path(32768);
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return 0;
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeW(path.data(), &unused);
    if (size == 0)
        return 0;
    std::vector<char> record(size);
    if (!GetFileVersionInfoW(path.data(), 0, size, record.data()))
        return 0;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    if (!VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&info), &infoLength) ||
        info == nullptr || infoLength < sizeof(VS_FIXEDFILEINFO))
        return 0;
    key = VersionKey(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                     HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    return 1;
}

} // namespace

CGUpdateEnvironment DefaultUpdateEnvironment() {
    CGUpdateEnvironment e;
    e.Host = VARNOCLE_UPDATE_HOST;
    e.DownloadPage = VARNOCLE_DOWNLOAD_PAGE;
    e.LocalVersion = OwnFileVersion;
    return e;
}
