#include "forms/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace forms {
namespace {

std::string Reason(int error) { return std::strerror(error); }

constexpr char kNotRegular[] = "Not a regular file";
constexpr char kTooLarge[] = "File too large";

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // Non-blocking, so that a named pipe chosen by mistake does not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Reason(errno);
    struct stat info {};
    std::string error;
    if (::fstat(fd, &info) != 0) {
        error = Reason(errno);
    } else if (S_ISDIR(info.st_mode)) {
        error = Reason(EISDIR);
    } else if (!S_ISREG(info.st_mode)) {
        error = kNotRegular;
    } else if (static_cast<std::size_t>(info.st_size) > maxBytes) {
        error = kTooLarge;
    }
    char buffer[4096];
    while (error.empty()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = Reason(errno);
        } else if (n == 0) {
            break;
        } else if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            error = kTooLarge;  // it grew while being read
        } else {
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    if (!error.empty()) bytes.clear();
    return error;
}

std::string ReplaceFileContents(const std::string& path, std::string_view bytes) {
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode)) return Reason(EISDIR);
        if (!S_ISREG(old.st_mode)) return kNotRegular;
        if (::access(path.c_str(), W_OK) != 0) return Reason(errno);
    } else if (errno != ENOENT) {
        return Reason(errno);
    }
    const std::string folder = FolderOf(path);
    const std::string name = path.substr(path.find_last_of('/') + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return Reason(errno);
    const mode_t mode = exists ? (old.st_mode & 07777) : NewFileMode();
    int error = 0;
    errno = 0;
    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, bytes) || ::fsync(fd) != 0) {
        error = errno != 0 ? errno : EIO;
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return Reason(error);
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);  // makes the rename itself durable
        ::close(dir);
    }
    return {};
}

}  // namespace forms
