#pragma once
// The open and save file dialogs.
#include <optional>
#include <string>

namespace forms {

class Form;

struct FileDialogRequest {
    bool save = false;
    std::string title;
    // Pairs of description and pattern, each followed by '\0' ("Text (*.txt)\0*.txt\0").
    std::string filter;
    int filterIndex = 0;  // 1-based; 0 picks the first pair
    std::string initialDir;
    std::string fileName;  // initial name
    std::string defaultExt;
};

// The chosen path, or nullopt when the user cancelled.
std::optional<std::string> ShowFileDialog(const FileDialogRequest& request, Form* owner);

}  // namespace forms
