// Settings files through the Load and Save buttons: the exact bytes written, what a load
// changes with and without a session, and every damaged file or failing folder, which must
// leave both the program and the user's file as they were.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "window_fixture.h"

namespace window_test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string kDefaults =
    "FFV1.0\r\n99.609375%\r\n0\r\n0.0\r\n0\r\n+0\r\n+0\r\n"
    "100.0%\r\n100.0%\r\n100.0%\r\n100.0%\r\n100.0%\r\n100.0%\r\n";

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The default file with line k + 2 (channel k) replaced.
std::string WithLine(int channel, const std::string& line) {
    std::string text = kDefaults;
    std::size_t start = 0;
    for (int i = 0; i <= channel; ++i) start = text.find("\r\n", start) + 2;
    return text.replace(start, text.find("\r\n", start) - start, line);
}

class SettingsFileTest : public WindowTest {
protected:
    SettingsFileTest() : dir(fs::temp_directory_path() / ("dkx-" + std::to_string(::getpid()))) {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~SettingsFileTest() override {
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
    }
    void Save(const fs::path& path) {
        fileAnswer = path.string();
        Click(*window.btnSave);
    }
    void Load(const fs::path& path) {
        fileAnswer = path.string();
        Click(*window.btnLoad);
    }
    std::array<std::int32_t, 12> Values() const {
        std::array<std::int32_t, 12> v{};
        for (int k = 0; k < 12; ++k) v[std::size_t(k)] = Value(k);
        return v;
    }

    fs::path dir;
};

TEST_F(SettingsFileTest, DefaultsSaveAs87BytesAndTheDialogsShareTheLastChoice) {
    window.Channels.screenDecimalSeparator = ',';  // files keep the point
    Save(dir / "a.dkx");
    EXPECT_EQ(Slurp(dir / "a.dkx"), kDefaults);
    EXPECT_EQ(kDefaults.size(), 87u);
    Load(dir / "a.dkx");
    fileAnswer.reset();
    Click(*window.btnSave);  // cancelled: nothing written, nothing said
    ASSERT_EQ(dialogs.Calls().size(), 3u);
    const forms::FileDialogRequest& save = dialogs.Calls()[0];
    EXPECT_TRUE(save.save);
    EXPECT_EQ(save.title, "Save Settings to File");
    EXPECT_EQ(save.filter, "Dravik Settings File (*.dkx)\0*.dkx\0All Files (*.*)\0*.*\0\0"s);
    EXPECT_EQ(save.defaultExt, ".dkx");
    EXPECT_EQ(save.flags, 2054);
    EXPECT_EQ(save.fileName, "");
    const forms::FileDialogRequest& load = dialogs.Calls()[1];
    EXPECT_FALSE(load.save);
    EXPECT_EQ(load.title, "Load Settings from File");
    EXPECT_EQ(load.flags, 4100);
    EXPECT_EQ(load.fileName, (dir / "a.dkx").string());
    EXPECT_EQ(dialogs.Calls()[2].fileName, (dir / "a.dkx").string());
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(SettingsFileTest, SavedStartupValuesLoadBackExactlyWithoutASession) {
    // Idle Torque Offset beyond 16 bits, as an ECU read can widen its limits.
    window.Channels.WidenLimits(2, 100000);
    const std::array<std::int32_t, 12> chosen = {128, -10, 100000, -7,  -128, 80,
                                                 64,  129, 192,    100, 77,   191};
    for (std::int16_t k = 0; k < 12; ++k)
        window.Channels.SetStartupValue(k, chosen[std::size_t(k)]);
    Save(dir / "s.dkx");
    for (std::int16_t k = 0; k < 12; ++k) window.Channels.SetStartupValue(k, 0);
    Load(dir / "s.dkx");
    EXPECT_EQ(window.Channels.StartupValues, chosen);
    EXPECT_EQ(window.Channels.StartupValuesCopy, chosen);
    EXPECT_EQ(Values(), chosen);
    // Row 0 was drawn before its start-up value changed, against its tested value 255.
    EXPECT_EQ(window.lblValues(0).ToolTipText(), "This value has not been tested.");
    // A page switch without a session puts the sliders back; the start-up values stay.
    window.btnAdvancedFuel_Click();
    EXPECT_EQ(Value(0), 255);
    EXPECT_EQ(window.Channels.StartupValues, chosen);
}

TEST_F(SettingsFileTest, LoadReadsEachLineAsTheProgramAlwaysHasAndClampsToTheLimits) {
    struct Case {
        int channel;
        std::string line;
        std::int32_t value;
    };
    const Case cases[] = {
        {0, "500%", 333},
        {0, " 1 2 0 %", 307},
        {3, "3 deg", 4},
        {5, "+450 rpm", 45},
        {4, "1,5", 1},
        {1, "&H5", 5},
        {1, "&HFF", 10},
        {2, "", 0},
        {6, "abc", 64},
        {4, "-1E3", -128},
        {11, "99.9999999999%", 128},
    };
    for (const Case& c : cases) {
        Write(dir / "v.dkx", "Not a header\r\n"s + WithLine(c.channel, c.line).substr(8));
        Load(dir / "v.dkx");
        EXPECT_EQ(Value(c.channel), c.value) << c.line;
        EXPECT_EQ(window.Channels.StartupValues[std::size_t(c.channel)], c.value) << c.line;
    }
    // Lines after the 13th are ignored.
    Write(dir / "20.dkx", WithLine(0, "128.0%") + "1\r\n2\r\n\n\n3\r\n4\r\n5\r\n");
    Load(dir / "20.dkx");
    EXPECT_EQ(Value(0), 328);
    EXPECT_TRUE(boxes.Calls().empty());

    // With a session the sliders change and the start-up values do not.
    window.Channels.isConnected = [] { return true; };
    Load(dir / "v.dkx");
    EXPECT_EQ(Value(11), 128);
    EXPECT_EQ(Value(0), 255);
    EXPECT_EQ(window.Channels.StartupValues[0], 328);
}

TEST_F(SettingsFileTest, DamagedOrMissingFilesChangeNothingAndSayWhy) {
    window.Channels.ChannelTable[0].Value = 300;
    const auto values = Values();
    const auto startup = window.Channels.StartupValues;
    std::string garbage;
    for (int i = 0; i < 4000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
    std::string lfOnly = kDefaults;
    for (std::size_t p; (p = lfOnly.find('\r')) != std::string::npos;) lfOnly.erase(p, 1);
    const std::pair<std::string, std::string> files[] = {
        {"", "0 complete lines"},
        {kDefaults.substr(0, 60), "complete lines"},
        {kDefaults.substr(0, 85), "12 complete lines"},
        {lfOnly, "line feed alone"},
        {WithLine(7, "1234567890123456789012345678901234567890"), "Line 9 (Fuel Load Increase)"},
        {WithLine(1, "&H1FFFFFFFF"), "Line 3"},
        {WithLine(2, "1E999"), "Line 4"},
        {garbage, "not a text file"},
        {kDefaults.substr(0, 40) + '\0' + kDefaults.substr(40, 20), "not a text file"},
    };
    for (const auto& [bytes, reason] : files) {
        Write(dir / "bad.dkx", bytes);
        Load(dir / "bad.dkx");
        ASSERT_FALSE(boxes.Calls().empty());
        EXPECT_NE(boxes.Calls().back().prompt.find(reason), std::string::npos)
            << boxes.Calls().back().prompt;
        EXPECT_EQ(boxes.Calls().back().title, "Dravik");
        // One term: a box that wraps the text must not break it across lines.
        EXPECT_EQ(boxes.Calls().back().prompt.find("CR LF"), std::string::npos);
    }
    Load(dir);  // a folder chosen as the file
    EXPECT_NE(boxes.Calls().back().prompt.find("Is a directory"), std::string::npos);
    Load(dir / "gone.dkx");  // removed between the dialog and the read
    EXPECT_NE(boxes.Calls().back().prompt.find("No such file"), std::string::npos);
    EXPECT_EQ(boxes.Calls().size(), std::size(files) + 2);
    EXPECT_EQ(Values(), values);
    EXPECT_EQ(window.Channels.StartupValues, startup);
}

TEST_F(SettingsFileTest, AFailedSaveKeepsTheOldFileAndSaysSo) {
    Write(dir / "old.dkx", "old contents");
    ::chmod((dir / "old.dkx").c_str(), 0640);
    Save(dir / "old.dkx");
    EXPECT_EQ(Slurp(dir / "old.dkx"), kDefaults);
    EXPECT_EQ(fs::status(dir / "old.dkx").permissions(), fs::perms(0640));  // kept
    EXPECT_TRUE(boxes.Calls().empty());

    fs::create_directory(dir / "folder.dkx");
    Save(dir / "folder.dkx");
    EXPECT_NE(boxes.Calls().back().prompt.find("Is a directory"), std::string::npos);
    Save(dir / "missing" / "x.dkx");
    EXPECT_NE(boxes.Calls().back().prompt.find("No such file"), std::string::npos);
    EXPECT_EQ(boxes.Calls().size(), 2u);
    if (::geteuid() != 0) {  // root writes anywhere
        Write(dir / "old.dkx", "kept");
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        Save(dir / "old.dkx");
        ASSERT_EQ(boxes.Calls().size(), 3u);
        EXPECT_NE(boxes.Calls().back().prompt.find("Permission denied"), std::string::npos);
        EXPECT_NE(boxes.Calls().back().prompt.find("unchanged"), std::string::npos);
        fs::permissions(dir, fs::perms::owner_all);
        EXPECT_EQ(Slurp(dir / "old.dkx"), "kept");
    }
    // No temporary file is left behind.
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(dir)) entries += entry.exists() ? 1 : 0;
    EXPECT_EQ(entries, 2);
}

TEST_F(SettingsFileTest, SavesUnderTheLongestNameAndThroughASymbolicLink) {
    // Every name the folder accepts can be saved under, UTF-8 names included.
    const std::string longest(255 - 4, 'n');
    Save(dir / (longest + ".dkx"));
    std::string accented;
    while (accented.size() < 250) accented += "\xC3\xA9";  // é, two bytes each
    Save(dir / (accented + ".dkx"));
    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(Slurp(dir / (longest + ".dkx")), kDefaults);
    EXPECT_EQ(Slurp(dir / (accented + ".dkx")), kDefaults);

    // A link stays a link, and the file it leads to (relative, through a second link, or
    // not there yet) gets the bytes.
    fs::create_directory(dir / "real");
    Write(dir / "real" / "kept.dkx", "old");
    fs::create_symlink("real/kept.dkx", dir / "inner.dkx");
    fs::create_symlink(dir / "inner.dkx", dir / "outer.dkx");
    fs::create_symlink("real/new.dkx", dir / "dangling.dkx");
    Save(dir / "outer.dkx");
    Save(dir / "dangling.dkx");
    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_TRUE(fs::is_symlink(dir / "outer.dkx"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.dkx"));
    EXPECT_EQ(Slurp(dir / "real" / "kept.dkx"), kDefaults);
    EXPECT_EQ(Slurp(dir / "real" / "new.dkx"), kDefaults);
    fs::create_symlink("loop.dkx", dir / "loop.dkx");
    Save(dir / "loop.dkx");
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_NE(boxes.Calls().back().prompt.find("Too many levels of symbolic links"),
              std::string::npos);
}

}  // namespace
}  // namespace window_test
