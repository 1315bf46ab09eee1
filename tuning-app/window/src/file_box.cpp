#include "window/file_box.h"

#include <algorithm>

#include "forms/file_dialog.h"

namespace dravik {
namespace {

// The name buffers of a dialog call: the old text followed by this much room.
constexpr std::size_t kNameRoom = 300;

std::string UpToFirstNul(const std::string& text) { return text.substr(0, text.find('\0')); }

}  // namespace

bool FileBox::Show(bool save, forms::Form* owner) {
    // Both buffers keep the padding when the dialog is cancelled; the name shown is the
    // text before the first NUL, so it stays the last choice.
    m_fileName.append(kNameRoom, '\0');
    m_fileTitle.append(kNameRoom, '\0');

    forms::FileDialogRequest request;
    request.save = save;
    request.title = m_title;
    request.filter = m_filter;
    request.filterIndex = m_filterIndex;
    request.initialDir = m_initialDir;
    request.fileName = UpToFirstNul(m_fileName);
    request.defaultExt = m_defExt;
    request.flags = m_flags;
    const std::optional<std::string> chosen = forms::ShowFileDialog(request, owner);
    if (!chosen || chosen->empty() || chosen->size() > 32767) return false;

    m_fileName = UpToFirstNul(*chosen);
    const forms::FileNameOffsets offsets = forms::SplitChosenPath(m_fileName);
    m_fileTitle = m_fileName.substr(std::min(offsets.fileOffset, m_fileName.size()));
    m_fileOffset = static_cast<std::int16_t>(offsets.fileOffset);
    m_fileExt = static_cast<std::int16_t>(offsets.extensionOffset);
    return true;
}

}  // namespace dravik
