#include "forms/file_dialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QChildEvent>
#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QMimeType>
#include <QStringList>
#include <QTreeView>

#include "forms/form.h"
#include "internal.h"

namespace forms {
namespace {

// "Text\0*.txt;*.log\0" -> "Text (*.txt *.log)" entries for the Qt dialog.
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
    // The dialog shows only the description (HideNameFilterDetails); "*.*" means every
    // file, also one without a dot.
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            if (pattern.trimmed() == "*.*") pattern = "*";
        }
        filters << QString("%1 (%2)").arg(parts[i], patterns.join(' '));
    }
    return filters;
}

// Icons and types of listed files from their names alone. Reading a file to tell its type
// can block for good (/proc/kmsg, as root) or for long (a slow network folder, a huge file),
// and the list waits for it.
class NameOnlyIconProvider final : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot()) return icon(Drive);
        if (info.isDir()) return icon(Folder);
        const QIcon themed = QIcon::fromTheme(TypeByName(info).iconName());
        return themed.isNull() ? icon(File) : themed;
    }
    QString type(const QFileInfo& info) const override {
        if (!info.isFile() || info.isRoot()) return QFileIconProvider::type(info);
        const QMimeType mime = TypeByName(info);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    QMimeType TypeByName(const QFileInfo& info) const {
        return m_types.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }
    QMimeDatabase m_types;
};

// The dialog's file list asks the provider until the dialog is gone, so the provider is
// made before the dialog and goes after it.
struct NameOnlyIcons {
    NameOnlyIconProvider provider;
};

// Qt's own dialog (the same on every desktop, and the one that honours every flag): it
// checks existing files and overwrites itself; a missing folder is checked here.
class FlaggedFileDialog final : private NameOnlyIcons, public QFileDialog {
public:
    FlaggedFileDialog(QWidget* parent, const FileDialogRequest& request)
        : QFileDialog(parent, Qt::WindowFlags()),
          m_pathMustExist((request.flags & (kOfnPathMustExist | kOfnFileMustExist)) != 0) {
        // Chosen before anything else, so that no native helper is ever set up.
        setOption(QFileDialog::DontUseNativeDialog);
        setIconProvider(&provider);
        setOption(QFileDialog::HideNameFilterDetails);
        setWindowTitle(QString::fromStdString(request.title));
        if (!request.initialDir.empty()) {
            setDirectory(QString::fromStdString(request.initialDir));
        }
        setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        const bool mustExist = !request.save && (request.flags & kOfnFileMustExist) != 0;
        setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        setOption(QFileDialog::DontConfirmOverwrite,
                  !request.save || (request.flags & kOfnOverwritePrompt) == 0);
        // Qt's own column widths cut the type and date to "pla...ent" and "9 Dec ...:47".
        resize(760, 440);
        if (auto* view = findChild<QTreeView*>(); view != nullptr) {
            view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
            view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        }
        // The name field's completion list is a window of its own, outside the dialog's
        // colours.
        for (QCompleter* completer : findChildren<QCompleter*>()) {
            completer->popup()->setPalette(QApplication::palette(this));
        }
    }

    bool event(QEvent* event) override {
        // Its questions and warnings (a file to replace, a missing file or folder) are
        // polished just before they show.
        if (event->type() == QEvent::ChildPolished) {
            auto* box = qobject_cast<QMessageBox*>(static_cast<QChildEvent*>(event)->child());
            if (box != nullptr) WidenToTitle(*box);
        }
        return QFileDialog::event(event);
    }

    void accept() override {
        const QStringList files = selectedFiles();
        if (m_pathMustExist && fileMode() == QFileDialog::AnyFile && !files.isEmpty()) {
            const QFileInfo chosen(files.front());
            if (!chosen.isDir() && !QFileInfo(chosen.absolutePath()).isDir()) {
                QMessageBox::warning(this, windowTitle(),
                                     tr("%1\nThe folder does not exist.\nCheck the path and try "
                                        "again.")
                                         .arg(QDir::toNativeSeparators(chosen.absolutePath())));
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    bool m_pathMustExist;
};

}  // namespace

std::optional<std::string> ShowFileDialog(const FileDialogRequest& request, Form* owner) {
    if (testing::ScriptedFileDialogs* script = ActiveFileDialogScript(); script != nullptr) {
        return script->Answer(request);
    }
    FlaggedFileDialog dialog(owner != nullptr ? owner->Window() : nullptr, request);
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
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    // The overwrite question and the dialog close one right after the other; a window
    // manager may then leave the keyboard with neither, and Ctrl+O, Alt+F... reach nothing.
    if (owner != nullptr && owner->Window()->isVisible()) owner->Window()->activateWindow();
    if (!chosen) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

FileNameOffsets SplitChosenPath(const std::string& path) {
    FileNameOffsets offsets;
    const std::size_t slash = path.find_last_of('/');
    offsets.fileOffset = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < offsets.fileOffset) {
        offsets.extensionOffset = path.size();
    } else if (dot + 1 == path.size()) {
        offsets.extensionOffset = 0;
    } else {
        offsets.extensionOffset = dot + 1;
    }
    return offsets;
}

}  // namespace forms
