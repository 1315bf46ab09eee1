#pragma once
// FileBox: the open and save file dialogs behind a few properties. The caller sets the
// properties, calls ShowOpen or ShowSave, and after true reads the chosen path from
// FileName. The object keeps its properties between calls, so the file chosen last is the
// name the next dialog starts with.
#include <cstdint>
#include <string>

namespace forms {
class Form;
}

namespace dravik {

class FileBox {
public:
    const std::string& Filter() const { return m_filter; }
    // Pairs of description and pattern, each item followed by NUL, the list closed by one
    // more NUL; passed to the dialog unchanged.
    void SetFilter(std::string filter) { m_filter = std::move(filter); }
    std::int32_t FilterIndex() const { return m_filterIndex; }
    void SetFilterIndex(std::int32_t index) { m_filterIndex = index; }
    const std::string& FileName() const { return m_fileName; }
    const std::string& FileTitle() const { return m_fileTitle; }
    const std::string& InitialDir() const { return m_initialDir; }
    void SetInitialDir(std::string dir) { m_initialDir = std::move(dir); }
    const std::string& Title() const { return m_title; }
    void SetTitle(std::string title) { m_title = std::move(title); }
    std::int32_t Flags() const { return m_flags; }
    // The dialog's option flags (forms::kOfn... values).
    void SetFlags(std::int32_t flags) { m_flags = flags; }
    std::int16_t FileOffset() const { return m_fileOffset; }
    std::int16_t FileExt() const { return m_fileExt; }
    const std::string& DefExt() const { return m_defExt; }
    void SetDefExt(std::string ext) { m_defExt = std::move(ext); }

    // True when the user chose a file; false when they cancelled or the dialog failed.
    bool ShowOpen(forms::Form* hwnd) { return Show(false, hwnd); }
    bool ShowSave(forms::Form* hwnd) { return Show(true, hwnd); }

private:
    bool Show(bool save, forms::Form* owner);

    std::string m_filter;
    std::int32_t m_filterIndex = 0;
    std::string m_fileName;
    std::string m_fileTitle;
    std::string m_initialDir;
    std::string m_title;
    std::int32_t m_flags = 0;
    std::int16_t m_fileOffset = 0;
    std::int16_t m_fileExt = 0;
    std::string m_defExt;
};

}  // namespace dravik
