// Saving and loading settings files: the start-up values of the twelve channels.
#include "dravik/settings_file.h"

#include "forms/file_dialog.h"
#include "forms/files.h"
#include "forms/msgbox.h"
#include "window/main_window.h"

namespace dravik {
namespace {

using namespace std::string_literals;

const std::string kSettingsFilter =
    "Dravik Settings File (*.dkx)\0*.dkx\0All Files (*.*)\0*.*\0\0"s;
constexpr char kSettingsExtension[] = ".dkx";
constexpr int kSaveFlags =
    forms::kOfnOverwritePrompt | forms::kOfnHideReadOnly | forms::kOfnPathMustExist;  // 2054
constexpr int kLoadFlags = forms::kOfnFileMustExist | forms::kOfnHideReadOnly;        // 4100
// Far more than any settings file; a larger file is not one.
constexpr std::size_t kMaxSettingsFileBytes = 1 << 20;

// bcc.IsConnected, as the channel table is told it.
bool SessionUp(const ChannelState& channels) {
    return channels.isConnected && channels.isConnected();
}

}  // namespace

FileBox& MainWindow::SettingsFileDialog(const std::string& title, int flags) {
    if (!FileDialog) FileDialog = std::make_unique<FileBox>();
    FileDialog->SetTitle(title);
    FileDialog->SetFilter(kSettingsFilter);
    FileDialog->SetDefExt(kSettingsExtension);
    FileDialog->SetFlags(flags);
    return *FileDialog;
}

void MainWindow::btnSave_Click() {
    FileBox& dialog = SettingsFileDialog("Save Settings to File", kSaveFlags);
    if (!dialog.ShowSave(this)) return;
    // The old file stays whole until the new one is complete on disk.
    const std::string error =
        forms::ReplaceFileContents(dialog.FileName(), BuildSettingsFile(Channels));
    if (error.empty()) return;
    MsgBoxEx("Could not save the settings file\n" + dialog.FileName() + "\n\n" + error +
                 ".\nNothing was written; a file already there is unchanged.",
             forms::kExclamation);
}

void MainWindow::btnLoad_Click() {
    FileBox& dialog = SettingsFileDialog("Load Settings from File", kLoadFlags);
    if (!dialog.ShowOpen(this)) return;
    std::string text;
    std::string problem = forms::ReadWholeFile(dialog.FileName(), kMaxSettingsFileBytes, text);
    SettingsFileValues file;
    if (problem.empty()) {
        file = ReadSettingsFile(text);
        problem = file.problem;
    }
    if (!problem.empty()) {
        MsgBoxEx("Could not load the settings file\n" + dialog.FileName() + "\n\n" + problem +
                     ".\nNo values were changed.",
                 forms::kExclamation);
        return;
    }
    for (std::int16_t k = 0; k < kChannelCount; ++k) {
        ChannelRecord& record = Channels.ChannelTable[static_cast<std::size_t>(k)];
        record.Value = file.values[static_cast<std::size_t>(k)];
        if (record.Value < record.Min) record.Value = record.Min;
        if (record.Value > record.Max) record.Value = record.Max;
        // The row is drawn before its start-up value changes, so its mark compares the
        // loaded value with the start-up value from before the load.
        if (PageOffset <= k && k < PageOffset + kRowsPerPage) {
            UpdateRow(static_cast<std::int16_t>(k % kRowsPerPage), record.Min, record.Max,
                      record.Value);
        }
        if (!SessionUp(Channels)) Channels.SetStartupValue(k, record.Value);
    }
}

}  // namespace dravik
