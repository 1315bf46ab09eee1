#include "forms/file_dialog.h"

#include <QFileDialog>
#include <QStringList>

#include "forms/form.h"
#include "internal.h"

namespace forms {
namespace {

// "Text (*.txt)\0*.txt;*.log\0" -> "Text (*.txt *.log)" entries for the Qt dialog.
QStringList QtFilters(const std::string& filter) {
    QStringList parts;
    std::size_t start = 0;
    while (start < filter.size()) {
        const std::size_t end = filter.find('\0', start);
        const std::size_t stop = end == std::string::npos ? filter.size() : end;
        if (stop == start) break;  // the closing empty item
        parts << QString::fromStdString(filter.substr(start, stop - start));
        start = stop + 1;
    }
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        filters << QString("%1 (%2)").arg(parts[i], patterns);
    }
    return filters;
}

}  // namespace

std::optional<std::string> ShowFileDialog(const FileDialogRequest& request, Form* owner) {
    if (testing::ScriptedFileDialogs* script = ActiveFileDialogScript(); script != nullptr) {
        return script->Answer(request);
    }
    QFileDialog dialog(owner != nullptr ? owner->Window() : nullptr,
                       QString::fromStdString(request.title),
                       QString::fromStdString(request.initialDir));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = QtFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = request.filterIndex > 0 ? request.filterIndex - 1 : 0;
        if (index < filters.size()) dialog.selectNameFilter(filters[index]);
    }
    if (!request.defaultExt.empty()) {
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultExt));
    }
    if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

}  // namespace forms
