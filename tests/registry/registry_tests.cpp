#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "registry/registry.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void Spit(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/registry-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home_ = pattern;
        PointAt(home_);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(home_);
    }
    void PointAt(const fs::path& folder) { setenv("XDG_CONFIG_HOME", folder.c_str(), 1); }
    fs::path StoreFile() const { return home_ / "ortaline" / "registry.ini"; }

    // Makes the store read its file again, as a fresh process would.
    void Reload() {
        PointAt(home_ / "elsewhere");
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
        if (key) RegCloseKey(key);
        PointAt(home_);
    }

    HKEY Create(const char* path, HKEY root = HKEY_CURRENT_USER) {
        HKEY key = nullptr;
        EXPECT_EQ(
            RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        return key;
    }
    static LONG SetDword(HKEY key, const char* name, DWORD value) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    }
    static LONG SetText(HKEY key, const char* name, const std::string& text) {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    static std::string GetText(HKEY key, const char* name) {
        DWORD type = 0, size = 0;
        EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(type, REG_SZ);
        std::string buffer(size, '?');
        EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(buffer.back(), '\0');
        buffer.pop_back();
        return buffer;
    }

    fs::path home_;
};

TEST_F(StoreTest, TypedValuesRoundTripAndSurviveReload) {
    HKEY key = Create("Software\\Test\\Values");
    ASSERT_EQ(SetDword(key, "Count", 30), ERROR_SUCCESS);
    ULONGLONG big = 0x1122334455667788ull;
    ASSERT_EQ(RegSetValueExA(key, "Big", 0, REG_QWORD, reinterpret_cast<BYTE*>(&big), 8),
              ERROR_SUCCESS);
    const std::string awkward =
        std::string("line1\nline2\t\"quoted\" back\\slash \x01 ") + '\0' + " after zero \xC3\xA9";
    ASSERT_EQ(RegSetValueExA(key, "Awkward \"name\"", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(awkward.data()),
                             static_cast<DWORD>(awkward.size() + 1)),
              ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, nullptr, "the default"), ERROR_SUCCESS);
    RegCloseKey(key);

    Reload();
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test\\Values", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0, size = 4, count = 0;
    ASSERT_EQ(
        RegQueryValueExA(key, "Count", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(count, 30u);
    ULONGLONG bigBack = 0;
    size = 8;
    ASSERT_EQ(
        RegQueryValueExA(key, "Big", nullptr, &type, reinterpret_cast<BYTE*>(&bigBack), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_QWORD);
    EXPECT_EQ(bigBack, big);
    EXPECT_EQ(GetText(key, "Awkward \"name\""), awkward);
    EXPECT_EQ(GetText(key, ""), "the default");
    EXPECT_EQ(GetText(key, nullptr), "the default");

    // Size questions and short buffers.
    char small[4];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    // The file is for people: one readable line per value.
    std::string text = Slurp(StoreFile());
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Test\\Values]"), std::string::npos);
    EXPECT_NE(text.find("\"Count\"=dword:0000001e"), std::string::npos);
    EXPECT_NE(text.find("@=sz:the default"), std::string::npos);
}

TEST_F(StoreTest, NamesIgnoreCaseButKeepIt) {
    HKEY key = Create("Software\\MixedCase\\Inner");
    ASSERT_EQ(SetText(key, "ValueName", "v"), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, "VALUENAME", "w"), ERROR_SUCCESS);  // the same value
    RegCloseKey(key);

    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\mixedcase\\INNER", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(GetText(key, "valuename"), "w");
    RegCloseKey(key);

    std::string text = Slurp(StoreFile());
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\MixedCase\\Inner]"), std::string::npos);
    EXPECT_NE(text.find("\"ValueName\"=sz:w"), std::string::npos);
}

TEST_F(StoreTest, DeletionsAndEmptyKeys) {
    HKEY key = Create("Software\\Tree\\A\\B");
    SetText(key, "x", "1");
    RegCloseKey(key);
    RegCloseKey(Create("Software\\Tree\\Empty"));

    Reload();
    HKEY empty = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tree\\Empty", 0, KEY_READ, &empty),
              ERROR_SUCCESS);  // a key without values is kept
    RegCloseKey(empty);

    HKEY a = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tree\\A", 0, KEY_READ, &a),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tree\\A"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tree\\A"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tree\\A"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetText(a, "late", "x"), ERROR_KEY_DELETED);
    RegCloseKey(a);
    EXPECT_EQ(RegCloseKey(a), ERROR_INVALID_HANDLE);

    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tree\\A\\B", 0, KEY_READ, &gone),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(gone, nullptr);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tree\\Empty"), ERROR_SUCCESS);

    key = Create("Software\\Tree");
    SetText(key, "v", "1");
    EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    Reload();
    std::string text = Slurp(StoreFile());
    EXPECT_EQ(text.find("\\A]"), std::string::npos);
    EXPECT_EQ(text.find("Empty"), std::string::npos);
}

TEST_F(StoreTest, ClassesRootIsTheUsersSoftwareClasses) {
    ASSERT_TRUE(registry::WriteString(HKEY_CLASSES_ROOT, "Vendor.Thing\\CLSID", "", "{X}"));
    std::string value;
    ASSERT_TRUE(registry::ReadString(HKEY_CURRENT_USER, "Software\\Classes\\Vendor.Thing\\CLSID",
                                     "", value));
    EXPECT_EQ(value, "{X}");
    EXPECT_FALSE(registry::ReadString(HKEY_CLASSES_ROOT, "Vendor.Thing", "", value));
    EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, ""), ERROR_SUCCESS);
    EXPECT_FALSE(registry::ReadString(HKEY_CLASSES_ROOT, "Vendor.Thing\\CLSID", "", value));
}

TEST_F(StoreTest, FileAndFolderArePrivate) {
    ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, "Software\\P", "v", "secret"));
    EXPECT_EQ(registry::StorePath(), StoreFile().string());
    struct stat info {};
    ASSERT_EQ(stat(StoreFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(StoreFile().parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(StoreTest, CorruptFileIsRefusedAndKeptByteForByte) {
    const std::string broken = "[HKEY_CURRENT_USER\\Software\\X]\n\"v\"=bogus:1\n\xff\x00junk";
    Spit(StoreFile(), broken);

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\X", 0, KEY_READ, &key),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Y", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "v", 1), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software"), ERROR_REGISTRY_CORRUPT);
    EXPECT_FALSE(registry::WriteString(HKEY_CURRENT_USER, "Software\\Y", "v", "x"));
    EXPECT_EQ(Slurp(StoreFile()), broken);

    // The settings tool says so too, naming the file and the line, and fails.
    const std::string damaged =
        "settings: The settings store " + StoreFile().string() + " is damaged: line 2";
    for (const char* command : {"get 'Software\\X' v", "set 'Software\\X' v text"}) {
        const fs::path errors = home_ / "stderr.txt";
        const std::string line =
            std::string(SETTINGS_TOOL) + " " + command + " >/dev/null 2>" + errors.string();
        EXPECT_EQ(WEXITSTATUS(std::system(line.c_str())), 1) << command;
        EXPECT_EQ(Slurp(errors).rfind(damaged, 0), 0u) << Slurp(errors);
    }
    EXPECT_EQ(Slurp(StoreFile()), broken);

    // Mended by hand (another writer): the store reads it again.
    Spit(StoreFile(), "[HKEY_CURRENT_USER\\Software\\X]\n\"v\"=sz:fixed\n");
    std::string value;
    ASSERT_TRUE(registry::ReadString(HKEY_CURRENT_USER, "Software\\X", "v", value));
    EXPECT_EQ(value, "fixed");
}

TEST_F(StoreTest, UnparsableLinesOfEveryKind) {
    for (const char* text :
         {"\"v\"=sz:no section\n", "[Elsewhere\\Software]\n",
          "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:123456789\n",
          "[HKEY_CURRENT_USER\\A]\n\"v\"=sz:bad \\q escape\n",
          "[HKEY_CURRENT_USER\\A]\n\"unterminated=sz:x\n", "[HKEY_CURRENT_USER\\A\n"}) {
        Spit(StoreFile(), text);
        std::string value;
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_REGISTRY_CORRUPT)
            << text;
        EXPECT_EQ(Slurp(StoreFile()), text);
    }
}

TEST_F(StoreTest, LeftoverTemporaryFileIsIgnoredThenRemovedByTheNextWrite) {
    ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, "Software\\T", "v", "kept"));
    // A writer killed before its rename leaves a partial temporary file behind.
    const std::string leftover = StoreFile().string() + ".Ab12Cd";
    Spit(leftover, "[HKEY_CURRENT_USER\\Software\\T]\n\"v\"=sz:ha");
    Spit(StoreFile().string() + ".bak", "not ours");
    Reload();
    std::string value;
    ASSERT_TRUE(registry::ReadString(HKEY_CURRENT_USER, "Software\\T", "v", value));
    EXPECT_EQ(value, "kept");
    EXPECT_TRUE(fs::exists(leftover));  // reading removes nothing

    // Another process writing: its temporary file exists only while it holds the lock, and
    // our write waits for the lock.
    const int lock = open((StoreFile().string() + ".lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const std::string theirs = StoreFile().string() + ".Zz9Yy8";
    Spit(theirs, "[HKEY_CURRENT_USER\\Software\\T]\n\"v\"=sz:kept\n\"x\"=sz:theirs\n");
    std::thread writer(
        [] { registry::WriteString(HKEY_CURRENT_USER, "Software\\T", "w", "next"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(fs::exists(theirs));
    fs::rename(theirs, StoreFile());  // their write completes
    close(lock);
    writer.join();

    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(StoreFile().string() + ".bak"));
    Reload();
    ASSERT_TRUE(registry::ReadString(HKEY_CURRENT_USER, "Software\\T", "w", value));
    EXPECT_EQ(value, "next");
    ASSERT_TRUE(registry::ReadString(HKEY_CURRENT_USER, "Software\\T", "x", value));
    EXPECT_EQ(value, "theirs");
}

TEST_F(StoreTest, RefusesKeysTooDeepAndNamesTooLongWithoutTouchingTheFile) {
    std::string deepest = "Software";
    for (int level = 2; level <= 512; ++level) deepest += "\\k";
    HKEY key = Create(deepest.c_str());  // 512 levels: the most there may be
    ASSERT_NE(key, nullptr);
    const std::string longest(255, 'n');
    HKEY named = Create(longest.c_str());
    EXPECT_EQ(SetText(named, longest.c_str(), "x"), ERROR_SUCCESS);
    const std::string before = Slurp(StoreFile());

    HKEY bad = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &bad, nullptr),
              ERROR_BADKEY);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (deepest + "\\a\\b").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &bad, nullptr),
              ERROR_BADKEY);
    const std::string tooLong(256, 'n');
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, tooLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &bad, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetText(named, tooLong.c_str(), "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bad, nullptr);
    EXPECT_EQ(Slurp(StoreFile()), before);
    RegCloseKey(key);
    RegCloseKey(named);

    // A file that holds such a key is damaged, not read into a tree too deep to handle.
    std::string section = "[HKEY_CURRENT_USER";
    for (int level = 0; level < 100000; ++level) section += "\\k";
    Spit(StoreFile(), "; hand-made\n" + section + "]\n");
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &bad),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(registry::StoreProblem(), "The settings store " + StoreFile().string() +
                                            " is damaged: line 2 is not understood");
    Spit(StoreFile(), "[HKEY_CURRENT_USER\\" + tooLong + "]\n");
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &bad), ERROR_REGISTRY_CORRUPT);
    Spit(StoreFile(), "[HKEY_CURRENT_USER\\A]\n\"" + tooLong + "\"=sz:x\n");
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &bad), ERROR_REGISTRY_CORRUPT);
    Spit(StoreFile(), "[HKEY_CURRENT_USER\\A]\n");
    EXPECT_EQ(registry::StoreProblem(), "");
}

TEST_F(StoreTest, ChangesByAnotherProcessAreSeen) {
    ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, "Software\\S", "v", "mine"));
    std::string text = Slurp(StoreFile());
    text += "\n[HKEY_CURRENT_USER\\Software\\Other]\n\"w\"=dword:00000007\n";
    // Written the way another process would: a new file renamed over the old one.
    Spit(StoreFile().string() + ".new", text);
    fs::rename(StoreFile().string() + ".new", StoreFile());

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Other", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD w = 0, size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "w", nullptr, nullptr, reinterpret_cast<BYTE*>(&w), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(w, 7u);
    RegCloseKey(key);
    // Our next write keeps what the other process added.
    ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, "Software\\S", "v2", "again"));
    EXPECT_NE(Slurp(StoreFile()).find("\"w\"=dword:00000007"), std::string::npos);
}

TEST_F(StoreTest, RefusesWhatItCannotKeep) {
    HKEY key = Create("Software\\R");
    DWORD value = 1;
    EXPECT_EQ(RegSetValueExA(key, "short", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 2),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "bin", 0, 3 /* REG_BINARY */, reinterpret_cast<BYTE*>(&value), 4),
              ERROR_NOT_SUPPORTED);
    HKEY bad = nullptr;
    EXPECT_EQ(
        RegCreateKeyExA(key, "new\nline", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &bad, nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(
        RegQueryValueExA(reinterpret_cast<HKEY>(0x1234), "v", nullptr, nullptr, nullptr, nullptr),
        ERROR_INVALID_HANDLE);
    RegCloseKey(key);
}

TEST_F(StoreTest, ConcurrentWritersLoseNothing) {
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < 10; ++i) {
                registry::WriteString(HKEY_CURRENT_USER, "Software\\Threads",
                                      "t" + std::to_string(t) + "_" + std::to_string(i), "x");
            }
        });
    }
    for (auto& w : writers) w.join();
    Reload();
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 10; ++i) {
            std::string value;
            EXPECT_TRUE(registry::ReadString(HKEY_CURRENT_USER, "Software\\Threads",
                                             "t" + std::to_string(t) + "_" + std::to_string(i),
                                             value));
        }
    }
}

}  // namespace
