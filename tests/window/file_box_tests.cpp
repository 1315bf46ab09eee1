// FileBox over the real (Qt's own) file dialogs, answered the way a user would: the flags
// the settings files use, the offsets of a chosen path, and the last choice carried into
// the next dialog across cancels.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "forms/file_dialog.h"
#include "forms/msgbox.h"
#include "window/file_box.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Acts on each modal window as it comes up, one step per window, in order.
class User {
public:
    using Step = std::function<void(QWidget*)>;
    explicit User(std::vector<Step> steps) : m_steps(std::move(steps)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal == m_last || m_next >= m_steps.size()) return;
            m_last = modal;
            // Outside this tick: a step that opens another modal window waits in it, and
            // this timer does not tick again until its own handler has returned.
            QTimer::singleShot(0, modal, [this, modal, step = m_next++] { m_steps[step](modal); });
        });
        m_timer.start(5);
    }
    bool Done() const { return m_next == m_steps.size(); }

private:
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    QPointer<QWidget> m_last;  // a new window may take a closed one's address
    QTimer m_timer;
};

User::Step Choose(const std::string& name) {
    return [name](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        // Typed into the name field, as a user does.
        auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(field, nullptr);
        // What the list still shows selected from an earlier try does not count.
        if (auto* list = dialog->findChild<QListView*>("listView")) list->clearSelection();
        field->setText(QString::fromStdString(name));
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    };
}
User::Step Cancel() {
    return [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); };
}
// Answers a message box with the given button after checking its text.
User::Step Answer(QMessageBox::StandardButton button, const std::string& text) {
    return [=](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_NE(box->text().toStdString().find(text), std::string::npos)
            << box->text().toStdString();
        box->button(button)->click();
    };
}

class FileBoxTest : public ::testing::Test {
protected:
    FileBoxTest() : dir(fs::temp_directory_path() / ("filebox-" + std::to_string(::getpid()))) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(dir / "keep.dkx") << "x";
        box.SetFilter("Dravik Settings File (*.dkx)\0*.dkx\0All Files (*.*)\0*.*\0\0"s);
        box.SetDefExt(".dkx");
    }
    ~FileBoxTest() override { fs::remove_all(dir); }
    std::string In(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
    dravik::FileBox box;
};

TEST_F(FileBoxTest, SaveAsksBeforeReplacingNeedsAnExistingFolderAndAddsTheExtension) {
    box.SetFlags(forms::kOfnOverwritePrompt | forms::kOfnHideReadOnly | forms::kOfnPathMustExist);
    box.SetTitle("Save Settings to File");
    QStringList filters;
    int questionWidth = 0, titleWidth = 0;
    User user({[&](QWidget* w) {
                   filters = qobject_cast<QFileDialog*>(w)->nameFilters();
                   EXPECT_EQ(w->windowTitle(), "Save Settings to File");
                   Choose(In("keep"))(w);
               },
               [&](QWidget* w) {
                   QFont bold = w->font();
                   bold.setBold(true);
                   titleWidth = QFontMetrics(bold).horizontalAdvance(w->windowTitle());
                   questionWidth = w->width();
                   Answer(QMessageBox::No, "keep.dkx already exists")(w);
               },
               Choose(In("missing/x.dkx")), Answer(QMessageBox::Ok, "does not exist"),
               Choose(In("new"))});
    ASSERT_TRUE(box.ShowSave(nullptr));
    EXPECT_TRUE(user.Done());
    // Room beside the title for a window manager's icon and buttons, or it is cut short.
    EXPECT_GE(questionWidth, titleWidth + forms::kTitleBarRoom);
    EXPECT_EQ(filters,
              QStringList({"Dravik Settings File (*.dkx) (*.dkx)", "All Files (*.*) (*)"}));
    EXPECT_EQ(box.FileName(), In("new.dkx"));
    EXPECT_EQ(box.FileTitle(), "new.dkx");
    EXPECT_EQ(box.FileOffset(), static_cast<std::int16_t>(dir.string().size() + 1));
    EXPECT_EQ(box.FileExt(), static_cast<std::int16_t>(In("new.dkx").size() - 3));
}

TEST_F(FileBoxTest, OpenNeedsAnExistingFileAndStartsWithTheLastChoiceAfterCancels) {
    box.SetFlags(forms::kOfnFileMustExist | forms::kOfnHideReadOnly);
    box.SetFilterIndex(2);
    std::string shownName;
    std::string shownFilter;
    User user({Choose(In("keep.dkx")),
               [&](QWidget* w) {
                   auto* dialog = qobject_cast<QFileDialog*>(w);
                   shownName = dialog->selectedFiles().value(0).toStdString();
                   shownFilter = dialog->selectedNameFilter().toStdString();
                   Choose(In("nothere.dkx"))(w);
               },
               Answer(QMessageBox::Ok, "File not found"), Cancel(), Cancel(), Cancel(),
               Choose(In("keep.dkx"))});
    ASSERT_TRUE(box.ShowOpen(nullptr));
    EXPECT_FALSE(box.ShowOpen(nullptr));
    EXPECT_EQ(shownName, In("keep.dkx"));
    EXPECT_EQ(shownFilter, "All Files (*.*)");  // as shown; it lists every file
    EXPECT_FALSE(box.ShowOpen(nullptr));
    // A cancel leaves the name padded, as the dialog's buffer; the name shown stays.
    EXPECT_EQ(box.FileName(), In("keep.dkx") + std::string(600, '\0'));
    EXPECT_FALSE(box.ShowOpen(nullptr));
    EXPECT_TRUE(box.ShowOpen(nullptr));
    EXPECT_TRUE(user.Done());
    EXPECT_EQ(box.FileName(), In("keep.dkx"));
    EXPECT_EQ(box.FileTitle(), "keep.dkx");
}

// A listed file may block its reader for good (/proc/kmsg, as root): the list tells its type
// and icon by its name, without opening it.
TEST_F(FileBoxTest, TheListDoesNotOpenTheFilesItLists) {
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(inotify_add_watch(watch, In("keep.dkx").c_str(), IN_OPEN), 0);
    box.SetInitialDir(dir.string());
    User user({[&](QWidget* w) {
        auto* model = w->findChild<QFileSystemModel*>();
        const QModelIndex type = model->index(QString::fromStdString(In("keep.dkx")), 2);
        QElapsedTimer waited;
        waited.start();
        while (model->data(type).toString().isEmpty() && waited.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        model->data(type.siblingAtColumn(0), Qt::DecorationRole);
        Cancel()(w);
    }});
    EXPECT_FALSE(box.ShowOpen(nullptr));
    inotify_event opened;
    EXPECT_LT(read(watch, &opened, sizeof opened), 0) << "the listed file was opened";
    close(watch);
}

TEST(FileBoxOffsets, FollowTheChosenPath) {
    EXPECT_EQ(forms::SplitChosenPath("/a/b.dkx").fileOffset, 3u);
    EXPECT_EQ(forms::SplitChosenPath("/a/b.dkx").extensionOffset, 5u);
    EXPECT_EQ(forms::SplitChosenPath("/a.d/b").extensionOffset, 6u);  // no dot: the end
    EXPECT_EQ(forms::SplitChosenPath("/a/b.").extensionOffset, 0u);
}

}  // namespace
