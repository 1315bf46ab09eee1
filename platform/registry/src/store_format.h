#pragma once
// The store's text form, meant to be read and edited by a person:
//
//   [HKEY_CURRENT_USER\Software\Foo]
//   @=sz:text of the default value
//   "Name"=sz:text with \\, \", \n, \r, \t and \xHH escapes
//   "Count"=dword:0000001e
//   "Big"=qword:00000000000f4240
//
// Every key has its own section, so keys without values are kept. Lines starting with ';'
// and blank lines are ignored.
#include <string>
#include <string_view>

#include "key_tree.h"

namespace registry::detail {

inline constexpr std::string_view kRootName = "HKEY_CURRENT_USER";

std::string Serialize(const Key& root);

// Fills `root` (expected empty) from `text`; false when any line is not understood (a key
// beyond the store's limits included), with `badLine` (when given) its number from 1.
bool Parse(std::string_view text, Key& root, std::size_t* badLine = nullptr);

}  // namespace registry::detail
