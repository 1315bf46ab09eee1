#include "store_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
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

// "<store>.XXXXXX" as mkstemp names them: six letters or digits.
bool IsTemporaryName(const std::string& name, const std::string& storeName) {
    constexpr std::size_t kRandomPart = 6;
    if (name.size() != storeName.size() + 1 + kRandomPart) return false;
    if (name.compare(0, storeName.size(), storeName) != 0 || name[storeName.size()] != '.') {
        return false;
    }
    for (std::size_t i = storeName.size() + 1; i < name.size(); ++i) {
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

// Every writer makes and renames its temporary file while it holds the process lock, so a
// temporary file seen by the lock's holder belongs to a writer that was killed. Only plain
// files of this user are touched.
void RemoveLeftoverTemporaries(const std::string& storePath) {
    const std::string folder = Folder(storePath);
    const std::string storeName = storePath.substr(folder.size() + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsTemporaryName(name, storeName)) continue;
        const std::string path = folder + "/" + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid()) {
            ::unlink(path.c_str());
        }
    }
    ::closedir(dir);
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
        problem_ = std::string("cannot be read: ") + std::strerror(err);
        return ERROR_REGISTRY_CORRUPT;
    }
    if (loaded_ && now == stamp_) return corrupt_ ? ERROR_REGISTRY_CORRUPT : ERROR_SUCCESS;

    root = Key{};
    stamp_ = now;
    loaded_ = true;
    corrupt_ = false;
    problem_.clear();
    if (!now.exists) return ERROR_SUCCESS;
    std::string text;
    std::size_t badLine = 0;
    if (!ReadAll(path_, text)) {
        problem_ = std::string("cannot be read: ") + std::strerror(errno);
    } else if (!Parse(text, root, &badLine)) {
        problem_ = "is damaged: line " + std::to_string(badLine) + " is not understood";
    } else {
        return ERROR_SUCCESS;
    }
    root = Key{};
    corrupt_ = true;
    return ERROR_REGISTRY_CORRUPT;
}

LONG StoreFile::Save(const Key& root, bool exclusive) {
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
    if (exclusive) RemoveLeftoverTemporaries(path_);
    return ERROR_SUCCESS;
}

ProcessLock::ProcessLock(const std::string& storePath) {
    if (!EnsureStoreFolder(storePath)) return;
    fd_ = ::open((storePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
        int rc = 0;
        while ((rc = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
        }
        held_ = rc == 0;
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
