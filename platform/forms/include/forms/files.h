#pragma once
// Whole-file reads and writes of the program's own files. Each returns the empty text on
// success, else the reason in words ("No such file or directory", "Is a directory", ...).
#include <cstddef>
#include <string>
#include <string_view>

namespace forms {

// Reads every byte of a regular file of at most maxBytes bytes into bytes. Folders, devices
// and pipes are refused without waiting on them.
std::string ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& bytes);

// Gives the file exactly these bytes, or leaves it as it was: the bytes go to a new file in
// the same folder, reach the disk, and only then take the old file's place (its permissions
// kept). A file the user may not write is not replaced. A symbolic link stays a link: the
// file it leads to gets the bytes.
std::string ReplaceFileContents(const std::string& path, std::string_view bytes);

}  // namespace forms
