#pragma once
// The open and save file dialogs, driven by the Windows dialog option flags.
#include <cstddef>
#include <optional>
#include <string>

namespace forms {

class Form;

// Option flags of the dialogs (the Windows values). The dialogs honour the ones below;
// there is no read-only check box to hide, so kOfnHideReadOnly changes nothing.
inline constexpr int kOfnOverwritePrompt = 0x2;
inline constexpr int kOfnHideReadOnly = 0x4;
inline constexpr int kOfnPathMustExist = 0x800;
inline constexpr int kOfnFileMustExist = 0x1000;  // implies kOfnPathMustExist

struct FileDialogRequest {
    bool save = false;
    std::string title;
    // Pairs of description and pattern, each followed by '\0' ("Text (*.txt)\0*.txt\0").
    std::string filter;
    int filterIndex = 0;  // 1-based; 0 picks the first pair
    std::string initialDir;
    std::string fileName;  // initial name
    std::string defaultExt;
    int flags = 0;  // kOfn... values
};

// The chosen path, or nullopt when the user cancelled.
std::optional<std::string> ShowFileDialog(const FileDialogRequest& request, Form* owner);

// Where the file name and its extension start within a chosen path, as the dialogs report
// them: the extension offset lies behind the dot, is the path's length when the name has no
// dot, and 0 when the name ends with one.
struct FileNameOffsets {
    std::size_t fileOffset = 0;
    std::size_t extensionOffset = 0;
};
FileNameOffsets SplitChosenPath(const std::string& path);

}  // namespace forms
