#include "registry/registry.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_set>

#include "key_tree.h"
#include "store_file.h"

using registry::detail::Key;
using registry::detail::KeyPath;

struct HKEY__ {
    KeyPath path;  // below HKEY_CURRENT_USER
};

HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u));
HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u));

namespace {

using registry::detail::kMaxKeyDepth;
using registry::detail::kMaxNameLength;

struct Store {
    std::mutex mutex;
    Key root;
    registry::detail::StoreFile file;
    std::unordered_set<HKEY> handles;
};

Store& TheStore() {
    static Store* store = new Store;  // never destroyed: handles may be closed at exit
    return *store;
}

// The key a handle names, as a path below HKEY_CURRENT_USER. `predefined` tells whether it
// is one of the root handles (which exist even when nothing is stored under them).
LONG BasePath(Store& store, HKEY key, KeyPath& path, bool& predefined) {
    predefined = true;
    if (key == HKEY_CURRENT_USER) {
        path.clear();
        return ERROR_SUCCESS;
    }
    if (key == HKEY_CLASSES_ROOT) {
        path = {"Software", "Classes"};
        return ERROR_SUCCESS;
    }
    predefined = false;
    if (!key || !store.handles.contains(key)) return ERROR_INVALID_HANDLE;
    path = key->path;
    return ERROR_SUCCESS;
}

bool ValidKeyNames(const KeyPath& names) {
    for (const auto& name : names) {
        if (name.size() > kMaxNameLength) return false;
        for (char c : name) {
            if (static_cast<unsigned char>(c) < 0x20) return false;
        }
    }
    return true;
}

// Locks the store and brings it up to date; holds the process lock as well when `writing`.
class Session {
public:
    explicit Session(bool writing) : store_(TheStore()), guard_(store_.mutex) {
        status_ = store_.file.Refresh(store_.root);
        if (writing && status_ == ERROR_SUCCESS) {
            lock_.emplace(store_.file.Path());
            store_.file.Invalidate();  // another process may have written before the lock
            status_ = store_.file.Refresh(store_.root);
        }
    }
    LONG Status() const { return status_; }
    Store& store() { return store_; }
    LONG Commit() { return store_.file.Save(store_.root, lock_ && lock_->Held()); }

private:
    Store& store_;
    std::lock_guard<std::mutex> guard_;
    std::optional<registry::detail::ProcessLock> lock_;
    LONG status_;
};

// Resolves `key` + `subKey` to an existing key; ERROR_FILE_NOT_FOUND when absent and
// ERROR_KEY_DELETED when the handle's own key is gone.
LONG FindKey(Store& store, HKEY key, LPCSTR subKey, Key*& found, KeyPath* fullPath = nullptr) {
    KeyPath base;
    bool predefined = false;
    LONG rc = BasePath(store, key, base, predefined);
    if (rc != ERROR_SUCCESS) return rc;
    Key* baseKey = registry::detail::Find(store.root, base);
    if (!baseKey) return predefined ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    KeyPath rest = registry::detail::SplitPath(subKey ? subKey : "");
    found = registry::detail::Find(*baseKey, rest);
    if (!found) return ERROR_FILE_NOT_FOUND;
    if (fullPath) {
        *fullPath = base;
        fullPath->insert(fullPath->end(), rest.begin(), rest.end());
    }
    return ERROR_SUCCESS;
}

HKEY NewHandle(Store& store, KeyPath path) {
    HKEY handle = new HKEY__{std::move(path)};
    store.handles.insert(handle);
    return handle;
}

// The parent of the key at `path`, for deletions.
Key* ParentOf(Store& store, const KeyPath& path) {
    KeyPath parent(path.begin(), path.end() - 1);
    return registry::detail::Find(store.root, parent);
}

bool IsRootPath(const KeyPath& path) {
    return path.empty() || (path.size() == 2 && registry::detail::FoldCase(path[0]) == "software" &&
                            registry::detail::FoldCase(path[1]) == "classes");
}

}  // namespace

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, void*, HKEY* result,
                        DWORD* disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Session session(true);
    if (session.Status() != ERROR_SUCCESS) return session.Status();
    Store& store = session.store();
    KeyPath path;
    bool predefined = false;
    LONG rc = BasePath(store, key, path, predefined);
    if (rc != ERROR_SUCCESS) return rc;
    if (!predefined && !registry::detail::Find(store.root, path)) return ERROR_KEY_DELETED;
    KeyPath rest = registry::detail::SplitPath(subKey ? subKey : "");
    if (!ValidKeyNames(rest)) return ERROR_INVALID_PARAMETER;
    path.insert(path.end(), rest.begin(), rest.end());
    if (path.size() > kMaxKeyDepth) return ERROR_BADKEY;

    Key* node = &store.root;
    bool anyCreated = false;
    for (const auto& name : path) {
        bool created = false;
        node = node->AddChild(name, &created);
        anyCreated = anyCreated || created;
    }
    if (anyCreated) {
        rc = session.Commit();
        if (rc != ERROR_SUCCESS) return rc;
    }
    if (disposition) *disposition = anyCreated ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(store, std::move(path));
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Session session(false);
    if (session.Status() != ERROR_SUCCESS) return session.Status();
    Key* found = nullptr;
    KeyPath path;
    LONG rc = FindKey(session.store(), key, subKey, found, &path);
    if (rc != ERROR_SUCCESS) return rc;
    *result = NewHandle(session.store(), std::move(path));
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    if (key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.mutex);
    if (!key || store.handles.erase(key) == 0) return ERROR_INVALID_HANDLE;
    delete key;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD*, DWORD* type, BYTE* data,
                         DWORD* dataSize) {
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    Session session(false);
    if (session.Status() != ERROR_SUCCESS) return session.Status();
    Key* found = nullptr;
    LONG rc = FindKey(session.store(), key, nullptr, found);
    if (rc != ERROR_SUCCESS) return rc;
    const auto* value = found->FindValue(valueName ? valueName : "");
    if (!value) return ERROR_FILE_NOT_FOUND;

    std::uint32_t dword = static_cast<std::uint32_t>(value->number);
    std::uint64_t qword = value->number;
    const void* bytes = nullptr;
    DWORD size = 0;
    switch (value->type) {
        case REG_DWORD:
            bytes = &dword;
            size = 4;
            break;
        case REG_QWORD:
            bytes = &qword;
            size = 8;
            break;
        default:
            bytes = value->text.c_str();
            size = static_cast<DWORD>(value->text.size() + 1);
    }
    if (type) *type = value->type;
    if (!data) {
        if (dataSize) *dataSize = size;
        return ERROR_SUCCESS;
    }
    if (*dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes, size);
    *dataSize = size;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                       DWORD dataSize) {
    registry::detail::Value value;
    value.name = valueName ? valueName : "";
    if (value.name.size() > kMaxNameLength) return ERROR_INVALID_PARAMETER;
    if (!data && dataSize != 0) return ERROR_INVALID_PARAMETER;
    value.type = type;
    switch (type) {
        case REG_SZ:
            if (data) value.text.assign(reinterpret_cast<const char*>(data), dataSize);
            if (!value.text.empty() && value.text.back() == '\0') value.text.pop_back();
            break;
        case REG_DWORD: {
            if (dataSize != 4) return ERROR_INVALID_PARAMETER;
            std::uint32_t v;
            std::memcpy(&v, data, 4);
            value.number = v;
            break;
        }
        case REG_QWORD:
            if (dataSize != 8) return ERROR_INVALID_PARAMETER;
            std::memcpy(&value.number, data, 8);
            break;
        default:
            return ERROR_NOT_SUPPORTED;
    }
    Session session(true);
    if (session.Status() != ERROR_SUCCESS) return session.Status();
    Key* found = nullptr;
    LONG rc = FindKey(session.store(), key, nullptr, found);
    if (rc != ERROR_SUCCESS) return rc;
    found->SetValue(std::move(value));
    return session.Commit();
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
    Session session(true);
    if (session.Status() != ERROR_SUCCESS) return session.Status();
    Key* found = nullptr;
    LONG rc = FindKey(session.store(), key, nullptr, found);
    if (rc != ERROR_SUCCESS) return rc;
    if (!found->RemoveValue(valueName ? valueName : "")) return ERROR_FILE_NOT_FOUND;
    return session.Commit();
}

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    Session session(true);
    if (session.Status() != ERROR_SUCCESS) return session.Status();
    Key* found = nullptr;
    KeyPath path;
    LONG rc = FindKey(session.store(), key, subKey, found, &path);
    if (rc != ERROR_SUCCESS) return rc;
    if (IsRootPath(path) || !found->children.empty()) return ERROR_ACCESS_DENIED;
    ParentOf(session.store(), path)->RemoveChild(path.back());
    return session.Commit();
}

LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subKey) {
    Session session(true);
    if (session.Status() != ERROR_SUCCESS) return session.Status();
    Key* found = nullptr;
    KeyPath path;
    LONG rc = FindKey(session.store(), key, subKey, found, &path);
    if (rc != ERROR_SUCCESS) return rc;
    if (!subKey || !*subKey) {
        // Without a subkey the key itself stays; everything in it goes.
        if (found->children.empty() && found->values.empty()) return ERROR_SUCCESS;
        found->children.clear();
        found->values.clear();
    } else {
        if (IsRootPath(path)) return ERROR_ACCESS_DENIED;
        ParentOf(session.store(), path)->RemoveChild(path.back());
    }
    return session.Commit();
}

namespace registry {

std::string StorePath() { return detail::ResolveStorePath(); }

std::string StoreProblem() {
    Session session(false);
    if (session.Status() == ERROR_SUCCESS) return {};
    const auto& file = session.store().file;
    return "The settings store " + file.Path() + " " + file.Problem();
}

bool ReadString(HKEY root, const std::string& subKey, const std::string& name, std::string& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD size = 0;
    bool ok = false;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        std::string buffer(size, '\0');
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer.data()), &size) == ERROR_SUCCESS &&
            type == REG_SZ) {
            buffer.resize(size > 0 ? size - 1 : 0);
            value = std::move(buffer);
            ok = true;
        }
    }
    RegCloseKey(key);
    return ok;
}

bool WriteString(HKEY root, const std::string& subKey, const std::string& name,
                 const std::string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG rc =
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

}  // namespace registry
