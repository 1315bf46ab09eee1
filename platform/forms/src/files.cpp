#include "forms/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
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

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The file a path names once every symbolic link on its last part is followed, so that a
// save through a link changes the linked file instead of putting a plain file in its place.
// A link to a file not there yet leads to that new file.
std::string FollowLinks(std::string path, int& error) {
    for (int hops = 0;; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        if (hops == 40) {  // the kernel's own limit
            error = ELOOP;
            return path;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
            error = n < 0 ? errno : ENAMETOOLONG;
            return path;
        }
        target.resize(static_cast<std::size_t>(n));
        path = !target.empty() && target.front() == '/' ? target : FolderOf(path) + "/" + target;
    }
}

// A hidden name for the new file that fits beside any name the folder accepts: the target's
// name, shortened where needed (never inside a UTF-8 character), plus a unique suffix.
std::string TemporaryPathFor(const std::string& folder, const std::string& name) {
    constexpr std::size_t kNameMax = 255;  // what the folder accepts, in bytes
    constexpr char kSuffix[] = ".XXXXXX";
    std::size_t keep = std::min(name.size(), kNameMax - 1 - (sizeof kSuffix - 1));
    while (keep > 0 && keep < name.size() && (name[keep] & 0xC0) == 0x80) --keep;
    return folder + "/." + name.substr(0, keep) + kSuffix;
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

std::string ReplaceFileContents(const std::string& chosenPath, std::string_view bytes) {
    int linkError = 0;
    const std::string path = FollowLinks(chosenPath, linkError);
    if (linkError != 0) return Reason(linkError);
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
    std::string temp = TemporaryPathFor(folder, NameOf(path));
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
