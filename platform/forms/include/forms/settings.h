#pragma once
// Per-user program settings, kept under
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>.
#include <string>

namespace forms {

std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& fallback = {});
// False when the store could not be written.
bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                 const std::string& value);
// Why the store cannot be used, naming its file; empty while it is sound.
std::string SettingsProblem();

}  // namespace forms
