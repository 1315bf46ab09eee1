#pragma once
// GUIDs as the narrow text the settings store keeps ("{XXXXXXXX-...}").
#include <string>

#include "com/com.h"

namespace com {

std::string GuidToString(const GUID& guid);
// False when `text` is not a braced GUID.
bool GuidFromString(const std::string& text, GUID& guid);

}  // namespace com
