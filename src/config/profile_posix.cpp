// The settings store without Win32: our own INI reader and writer with the behaviour of the
// private-profile functions. A write replaces the file atomically, so a crash in the middle
// leaves either the old file or the new one whole.
#include "config/config_seams.h"
#include "config/ini_text.h"
#include "config/profile.h"
#include "config/profile_common.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Like the platform's functions, one call at a time per process, so two writers cannot lose
// each other's change between reading the file and replacing it.
std::mutex StoreLock;

// The whole file, or false when it cannot be opened.
bool LoadFile(const char* path, std::string& bytes) {
    bytes.clear();
    if (!path || !*path)
        return false;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes bytes to a temporary file beside path, then renames it over path.
bool ReplaceFile(const std::string& path, const std::string& bytes) {
    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);
    bool ok = WriteAll(fd, bytes) && (!ConfigSeams.FlushWrites || ::fsync(fd) == 0);
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

// The platform drops trailing spaces of the default text (but never its first character).
std::string TrimDefault(const char* def) {
    std::string d = def ? def : "";
    size_t end = d.size();
    while (end > 1 && d[end - 1] == ' ')
        --end;
    d.resize(end);
    return d;
}

} // namespace

int ProfileReadString(const char* section, const char* key, const char* defaultValue, char* buffer,
                      int size, const char* path) {
    if (!buffer || size <= 0)
        return 0;
    std::string def = TrimDefault(defaultValue);
    if (!section || !key) {
        buffer[0] = 0;
        return 0;
    }
    std::lock_guard<std::mutex> lock(StoreLock);
    std::string bytes;
    const std::string* value = nullptr;
    CGIniText text;
    if (LoadFile(path, bytes)) {
        text = CGIniText(bytes);
        value = text.Find(section, key);
    }
    return CopyProfileValue(value ? value->c_str() : def.c_str(), buffer, size);
}

int ProfileWriteString(const char* section, const char* key, const char* value, const char* path) {
    if (!section || !path || !*path)
        return 0;
    std::lock_guard<std::mutex> lock(StoreLock);
    std::string bytes;
    LoadFile(path, bytes);
    CGIniText text(bytes);
    if (!text.Set(section, key, value))
        return 1; // nothing to change, as the platform counts it
    return ReplaceFile(path, text.Bytes()) ? 1 : 0;
}
