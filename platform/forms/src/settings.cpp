#include "forms/settings.h"

#include "registry/registry.h"

namespace forms {
namespace {

std::string SectionKey(const std::string& app, const std::string& section) {
    return "Software\\VB and VBA Program Settings\\" + app + "\\" + section;
}

}  // namespace

std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& fallback) {
    std::string value;
    if (!registry::ReadString(HKEY_CURRENT_USER, SectionKey(app, section), key, value)) {
        return fallback;
    }
    return value;
}

bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                 const std::string& value) {
    return registry::WriteString(HKEY_CURRENT_USER, SectionKey(app, section), key, value);
}

std::string SettingsProblem() { return registry::StoreProblem(); }

}  // namespace forms
