#pragma once
// The store's content in memory: a tree of keys, each with typed values.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "win32/types.h"

namespace registry::detail {

// Deeper keys and longer names are refused: the store's text form repeats a key's whole
// path in its section line, and the tree is written and destroyed recursively.
inline constexpr std::size_t kMaxKeyDepth = 512;
inline constexpr std::size_t kMaxNameLength = 255;

// Key and value names compare without regard to ASCII case, as on Windows.
std::string FoldCase(std::string_view name);

struct Value {
    std::string name;  // as first set; empty = the key's default value
    DWORD type = 0;    // REG_SZ, REG_DWORD or REG_QWORD
    std::string text;  // REG_SZ, without the terminating zero
    std::uint64_t number = 0;
};

struct Key {
    std::string name;                                      // as created
    std::map<std::string, std::unique_ptr<Key>> children;  // by folded name
    std::map<std::string, Value> values;                   // by folded name

    Key* Child(std::string_view childName) const;
    // Creates the child when absent; `created` tells which happened.
    Key* AddChild(std::string_view childName, bool* created = nullptr);
    bool RemoveChild(std::string_view childName);
    const Value* FindValue(std::string_view valueName) const;
    void SetValue(Value value);
    bool RemoveValue(std::string_view valueName);
};

using KeyPath = std::vector<std::string>;

// Splits "Software\Foo\Bar" into its names; empty names (doubled or outer backslashes)
// are dropped.
KeyPath SplitPath(std::string_view path);

// The key at `path` below `root`, or nullptr.
Key* Find(Key& root, const KeyPath& path);

}  // namespace registry::detail
