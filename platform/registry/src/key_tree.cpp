#include "key_tree.h"

namespace registry::detail {

std::string FoldCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

Key* Key::Child(std::string_view childName) const {
    auto it = children.find(FoldCase(childName));
    return it == children.end() ? nullptr : it->second.get();
}

Key* Key::AddChild(std::string_view childName, bool* created) {
    auto& slot = children[FoldCase(childName)];
    if (created) *created = !slot;
    if (!slot) {
        slot = std::make_unique<Key>();
        slot->name = std::string(childName);
    }
    return slot.get();
}

bool Key::RemoveChild(std::string_view childName) {
    return children.erase(FoldCase(childName)) > 0;
}

const Value* Key::FindValue(std::string_view valueName) const {
    auto it = values.find(FoldCase(valueName));
    return it == values.end() ? nullptr : &it->second;
}

void Key::SetValue(Value value) {
    auto folded = FoldCase(value.name);
    auto it = values.find(folded);
    if (it != values.end()) value.name = it->second.name;  // keep the case first given
    values[folded] = std::move(value);
}

bool Key::RemoveValue(std::string_view valueName) { return values.erase(FoldCase(valueName)) > 0; }

KeyPath SplitPath(std::string_view path) {
    KeyPath names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) names.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

Key* Find(Key& root, const KeyPath& path) {
    Key* key = &root;
    for (const auto& name : path) {
        key = key->Child(name);
        if (!key) return nullptr;
    }
    return key;
}

}  // namespace registry::detail
