#include "store_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "registry/registry.h"
#include "store_format.h"

namespace registry::detail {
namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
        return found->pw_dir;
    }
    return "/tmp";
}

std::string Folder(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(const std::string& path, std::string& text) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[8192];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
}

}  // namespace

std::string ResolveStorePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = (xdg && xdg[0] == '/') ? std::string(xdg) : HomeFolder() + "/.config";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/ortaline/registry.ini";
}

bool StoreFile::Stamp::operator==(const Stamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
}

bool StoreFile::TakeStamp(const std::string& path, Stamp& stamp, int& err) {
    struct stat info {};
    stamp = Stamp{};
    if (::stat(path.c_str(), &info) != 0) {
        err = errno;
        return err == ENOENT;  // an absent file is an empty store
    }
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modified = info.st_mtim;
    return true;
}

LONG StoreFile::Refresh(Key& root) {
    std::string path = ResolveStorePath();
    if (path != path_) {
        path_ = path;
        loaded_ = false;
    }
    Stamp now;
    int err = 0;
    if (!TakeStamp(path_, now, err)) {
        root = Key{};
        loaded_ = false;
        corrupt_ = true;
        return ERROR_REGISTRY_CORRUPT;
    }
    if (loaded_ && now == stamp_) return corrupt_ ? ERROR_REGISTRY_CORRUPT : ERROR_SUCCESS;

    root = Key{};
    stamp_ = now;
    loaded_ = true;
    corrupt_ = false;
    if (!now.exists) return ERROR_SUCCESS;
    std::string text;
    if (!ReadAll(path_, text) || !Parse(text, root)) {
        root = Key{};
        corrupt_ = true;
        return ERROR_REGISTRY_CORRUPT;
    }
    return ERROR_SUCCESS;
}

LONG StoreFile::Save(const Key& root) {
    if (corrupt_ || path_.empty()) return ERROR_REGISTRY_CORRUPT;
    if (!EnsureStoreFolder(path_)) {
        loaded_ = false;
        return ERROR_REGISTRY_IO_FAILED;
    }
    std::string temp = path_ + ".XXXXXX";
    int fd = ::mkstemp(temp.data());  // created 0600
    if (fd < 0) {
        loaded_ = false;
        return ERROR_REGISTRY_IO_FAILED;
    }
    bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, Serialize(root)) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path_.c_str()) != 0) {
        ::unlink(temp.c_str());
        loaded_ = false;
        return ERROR_REGISTRY_IO_FAILED;
    }
    int dir = ::open(Folder(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);  // makes the rename itself durable
        ::close(dir);
    }
    int err = 0;
    if (!TakeStamp(path_, stamp_, err)) loaded_ = false;
    return ERROR_SUCCESS;
}

ProcessLock::ProcessLock(const std::string& storePath) {
    if (!EnsureStoreFolder(storePath)) return;
    fd_ = ::open((storePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
}

ProcessLock::~ProcessLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

bool EnsureStoreFolder(const std::string& storePath) {
    std::string folder = Folder(storePath);
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') continue;
        std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace registry::detail
