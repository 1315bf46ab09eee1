#pragma once
// The store's file: where it lives, reading it when it changed on disk, and replacing it
// atomically.
#include <sys/types.h>

#include <ctime>
#include <string>

#include "key_tree.h"
#include "win32/types.h"

namespace registry::detail {

std::string ResolveStorePath();

class StoreFile {
public:
    // Brings `root` up to date with the file: re-reads it when the store's path or the
    // file's identity (inode, size, modification time) changed since the last read.
    // ERROR_REGISTRY_CORRUPT while the file cannot be read or parsed (Problem() says why).
    LONG Refresh(Key& root);

    // Writes `root` to a temporary file beside the store, syncs it and renames it over the
    // store. On failure the store file is untouched and the next Refresh re-reads it.
    // Holding the process lock (`exclusive`), it also removes the temporary files that
    // writers killed before their rename left behind.
    LONG Save(const Key& root, bool exclusive);

    // What is wrong with the file the last Refresh looked at ("line 3 is not understood");
    // empty while it is sound.
    const std::string& Problem() const { return problem_; }

    // Forgets what was read, so the next Refresh reads the file again.
    void Invalidate() { loaded_ = false; }

    // Path of the file the last Refresh looked at.
    const std::string& Path() const { return path_; }

private:
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        std::timespec modified{};
        bool operator==(const Stamp& other) const;
    };
    static bool TakeStamp(const std::string& path, Stamp& stamp, int& err);

    std::string path_;
    Stamp stamp_;
    bool loaded_ = false;
    bool corrupt_ = false;
    std::string problem_;
};

// Holds an exclusive lock on "<store>.lock" for the duration of a read-modify-write, so
// that two processes do not lose each other's changes.
class ProcessLock {
public:
    explicit ProcessLock(const std::string& storePath);
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    bool Held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

// Creates the store's folder (mode 0700) and its missing parents.
bool EnsureStoreFolder(const std::string& storePath);

}  // namespace registry::detail
