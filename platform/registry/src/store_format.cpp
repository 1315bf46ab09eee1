#include "store_format.h"

#include <cstdio>
#include <optional>

#include "registry/registry.h"

namespace registry::detail {
namespace {

void AppendEscaped(std::string& out, std::string_view text, bool escapeQuote) {
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '"':
                out += escapeQuote ? "\\\"" : "\"";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[5];
                    std::snprintf(buf, sizeof buf, "\\x%02x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
}

void WriteValues(const Key& key, std::string& out) {
    for (const auto& [folded, value] : key.values) {
        if (value.name.empty()) {
            out += "@";
        } else {
            out += "\"";
            AppendEscaped(out, value.name, true);
            out += "\"";
        }
        char number[32];
        switch (value.type) {
            case REG_DWORD:
                std::snprintf(number, sizeof number, "=dword:%08x\n",
                              static_cast<unsigned>(value.number & 0xFFFFFFFFu));
                out += number;
                break;
            case REG_QWORD:
                std::snprintf(number, sizeof number, "=qword:%016llx\n",
                              static_cast<unsigned long long>(value.number));
                out += number;
                break;
            default:
                out += "=sz:";
                AppendEscaped(out, value.text, false);
                out += "\n";
        }
    }
}

void WriteSections(const Key& key, const std::string& path, std::string& out) {
    for (const auto& [folded, child] : key.children) {
        std::string childPath = path + "\\" + child->name;
        out += "\n[" + childPath + "]\n";
        WriteValues(*child, out);
        WriteSections(*child, childPath, out);
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads escaped text from `pos` up to `stop` (a closing quote) or the end of the line.
// Returns nullopt on a broken escape or a missing closing quote.
std::optional<std::string> Unescape(std::string_view line, std::size_t& pos, char stop) {
    std::string out;
    while (pos < line.size()) {
        char c = line[pos++];
        if (stop && c == stop) return out;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= line.size()) return std::nullopt;
        char e = line[pos++];
        switch (e) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                if (pos + 2 > line.size()) return std::nullopt;
                int hi = HexDigit(line[pos]), lo = HexDigit(line[pos + 1]);
                if (hi < 0 || lo < 0) return std::nullopt;
                out += static_cast<char>(hi * 16 + lo);
                pos += 2;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    if (stop) return std::nullopt;
    return out;
}

std::optional<std::uint64_t> ParseHex(std::string_view digits, std::size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<unsigned>(d);
    }
    return v;
}

bool ParseValue(std::string_view line, Key& key) {
    Value value;
    std::size_t pos = 0;
    if (line.starts_with("@=")) {
        pos = 2;
    } else if (line.starts_with("\"")) {
        pos = 1;
        auto name = Unescape(line, pos, '"');
        if (!name || name->empty() || name->size() > kMaxNameLength || pos >= line.size() ||
            line[pos] != '=') {
            return false;
        }
        value.name = std::move(*name);
        ++pos;
    } else {
        return false;
    }
    std::string_view rest = line.substr(pos);
    if (rest.starts_with("sz:")) {
        std::size_t at = 3;
        auto text = Unescape(rest, at, 0);
        if (!text) return false;
        value.type = REG_SZ;
        value.text = std::move(*text);
    } else if (rest.starts_with("dword:")) {
        auto n = ParseHex(rest.substr(6), 8);
        if (!n) return false;
        value.type = REG_DWORD;
        value.number = *n;
    } else if (rest.starts_with("qword:")) {
        auto n = ParseHex(rest.substr(6), 16);
        if (!n) return false;
        value.type = REG_QWORD;
        value.number = *n;
    } else {
        return false;
    }
    key.SetValue(std::move(value));
    return true;
}

}  // namespace

std::string Serialize(const Key& root) {
    std::string out =
        "; Ortaline settings store. One section per key; values are written\n"
        "; \"Name\"=sz:text, \"Name\"=dword:hex, \"Name\"=qword:hex; @ is the default value.\n";
    std::string rootName(kRootName);
    if (!root.values.empty()) {
        out += "\n[" + rootName + "]\n";
        WriteValues(root, out);
    }
    WriteSections(root, rootName, out);
    return out;
}

bool Parse(std::string_view text, Key& root, std::size_t* badLine) {
    Key* current = nullptr;
    std::size_t start = 0;
    std::size_t lineNumber = 0;
    auto refuse = [&] {
        if (badLine) *badLine = lineNumber;
        return false;
    };
    while (start < text.size()) {
        ++lineNumber;
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.size() < 2 || line.back() != ']') return refuse();
            KeyPath path = SplitPath(line.substr(1, line.size() - 2));
            if (path.empty() || FoldCase(path.front()) != FoldCase(kRootName)) return refuse();
            if (path.size() - 1 > kMaxKeyDepth) return refuse();
            current = &root;
            for (std::size_t i = 1; i < path.size(); ++i) {
                if (path[i].size() > kMaxNameLength) return refuse();
                for (char c : path[i]) {
                    if (static_cast<unsigned char>(c) < 0x20) return refuse();
                }
                current = current->AddChild(path[i]);
            }
            continue;
        }
        if (!current || !ParseValue(line, *current)) return refuse();
    }
    return true;
}

}  // namespace registry::detail
