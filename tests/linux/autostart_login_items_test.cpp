// Launch at login on a Linux desktop: the autostart entry for the helper, written and removed
// in a throw-away configuration directory, and started the way a session starts it.
#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/autostart_login_items.h"
#include "platform/linux/desktop_entry.h"
#include "platform/linux/glib_handles.h"
#include "shared/identifiers.h"

namespace ampora::linux_port {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

bool desktopFileValid(const fs::path& entry) {
    const std::string command = "desktop-file-validate '" + entry.string() + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

class LaunchAtLogin : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ampora-login-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        autostart_ = root_ / "config" / "autostart";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(autostart_, fs::perms::owner_all, ignored);
        fs::remove_all(root_, ignored);
    }

    // A stand-in for the helper: it leaves a mark next to itself when started.
    fs::path installFakeHelper(const fs::path& directory) {
        fs::create_directories(directory);
        const fs::path helper = directory / "Ampora-Helper";
        std::ofstream(helper) << "#!/bin/sh\necho started >> \"$0.started\"\n";
        fs::permissions(helper, fs::perms::owner_all);
        return helper;
    }

    static bool started(const fs::path& helper) {
        return eventually([&] { return fs::exists(helper.string() + ".started"); });
    }

    fs::path entryIn(const fs::path& autostart) const {
        return autostart / (std::string(HelperBundleIdentifier) + ".desktop");
    }

    fs::path root_;
    fs::path autostart_;
};

TEST_F(LaunchAtLogin, FreshAccountWithoutConfigDirectory) {
    const fs::path helper = installFakeHelper(root_ / "Ampora.app" / "helper");
    AutostartLoginItems items(autostart_, helper.string(), true);

    ASSERT_TRUE(items.setEnabled(HelperBundleIdentifier, true));

    const fs::path entry = entryIn(autostart_);
    EXPECT_TRUE(desktopFileValid(entry));
    EXPECT_NE(readFile(entry).find("\nExec=" + helper.string() + "\n"), std::string::npos);
    // The session's autostart directories are private to the user.
    EXPECT_EQ(fs::status(autostart_).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(autostart_.parent_path()).permissions() & fs::perms::all,
              fs::perms::owner_all);
    // Turning it on starts the helper at once, as the login-item service does.
    EXPECT_TRUE(started(helper));
    // Nothing but the entry is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(autostart_), fs::directory_iterator()), 1);
}

TEST_F(LaunchAtLogin, TurnedOffLeavesOtherProgramsEntriesAlone) {
    const fs::path helper = installFakeHelper(root_ / "bundle");
    fs::create_directories(autostart_);
    std::ofstream(autostart_ / "other.desktop") << "[Desktop Entry]\n";
    AutostartLoginItems items(autostart_, helper.string(), true);
    ASSERT_TRUE(items.setEnabled(HelperBundleIdentifier, true));

    EXPECT_TRUE(items.setEnabled(HelperBundleIdentifier, false));
    EXPECT_FALSE(fs::exists(entryIn(autostart_)));
    EXPECT_TRUE(fs::exists(autostart_ / "other.desktop"));
    // Already off: still a success, and nothing else goes.
    EXPECT_TRUE(items.setEnabled(HelperBundleIdentifier, false));
    EXPECT_TRUE(fs::exists(autostart_ / "other.desktop"));
}

TEST_F(LaunchAtLogin, StaleEntryFromAMovedInstallationIsReplaced) {
    fs::create_directories(autostart_);
    std::ofstream(entryIn(autostart_)) << "[Desktop Entry]\nExec=/old/place/Ampora-Helper\n";
    const fs::path helper = installFakeHelper(root_ / "new place");
    AutostartLoginItems items(autostart_, helper.string(), true);

    ASSERT_TRUE(items.setEnabled(HelperBundleIdentifier, true));
    const std::string text = readFile(entryIn(autostart_));
    EXPECT_EQ(text.find("/old/place"), std::string::npos);
    EXPECT_NE(text.find("new place"), std::string::npos);
}

// Each of these directory names once broke someone's autostart entry. The entry must start the
// helper exactly where it is, read back by GLib's own desktop-entry launcher.
TEST_F(LaunchAtLogin, HelperInstalledUnderAwkwardPaths) {
    const char* names[] = {
        "Ampora with spaces", "quote\"double", "quote'single",           "$HOME and ${PATH}",
        "back\\slash",        "back`tick`",    "Bätterie ⚡ Überwachung", "semi;colon & pipe|",
        "~tilde #hash *?[]",  "100% battery",  "%f%u field codes",
    };
    int count = 0;
    for (const std::string name : names) {
        SCOPED_TRACE(name);
        const fs::path helper = installFakeHelper(root_ / "apps" / name / "Contents");
        const fs::path autostart = root_ / ("autostart " + std::to_string(++count));
        AutostartLoginItems items(autostart, helper.string(), true);
        ASSERT_TRUE(items.setEnabled(HelperBundleIdentifier, true));
        ASSERT_TRUE(started(helper));
        fs::remove(helper.string() + ".started");

        const fs::path entry = entryIn(autostart);
        EXPECT_TRUE(desktopFileValid(entry));
        // GLib checks that the program exists before expanding "%%" back to "%", so it refuses
        // such an entry although it follows the rules; other sessions start it.
        if (name.find('%') != std::string::npos) continue;
        GObjectPtr<GDesktopAppInfo> app(g_desktop_app_info_new_from_filename(entry.c_str()));
        ASSERT_TRUE(app);
        EXPECT_TRUE(g_app_info_launch(G_APP_INFO(app.get()), nullptr, nullptr, nullptr));
        EXPECT_TRUE(started(helper));
    }
}

TEST_F(LaunchAtLogin, HelperPathWithAControlCharacter) {
    // A tab or a newline can't be written into a desktop entry at all.
    const fs::path helper = installFakeHelper(root_ / "tab\there");
    AutostartLoginItems items(autostart_, helper.string(), true);
    EXPECT_FALSE(items.setEnabled(HelperBundleIdentifier, true));
    EXPECT_FALSE(fs::exists(entryIn(autostart_)));
    EXPECT_FALSE(fs::exists(helper.string() + ".started"));
}

TEST_F(LaunchAtLogin, ConfigDirectoryIsAFile) {
    const fs::path helper = installFakeHelper(root_ / "bundle");
    std::ofstream(root_ / "config") << "not a directory";
    AutostartLoginItems items(autostart_, helper.string(), true);

    EXPECT_FALSE(items.setEnabled(HelperBundleIdentifier, true));
    EXPECT_EQ(readFile(root_ / "config"), "not a directory");
    EXPECT_FALSE(fs::exists(helper.string() + ".started"));
}

TEST_F(LaunchAtLogin, AutostartDirectoryReadOnly) {
    const fs::path helper = installFakeHelper(root_ / "bundle");
    fs::create_directories(autostart_);
    fs::permissions(autostart_, fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(autostart_.c_str(), W_OK) == 0) GTEST_SKIP() << "permissions don't bind root";
    AutostartLoginItems items(autostart_, helper.string(), true);

    EXPECT_FALSE(items.setEnabled(HelperBundleIdentifier, true));
    EXPECT_FALSE(fs::exists(helper.string() + ".started"));
}

TEST_F(LaunchAtLogin, ConfigOnAFilesystemThatRefusesFiles) {
    // Nobody, not even root, creates files in /proc.
    const fs::path helper = installFakeHelper(root_ / "bundle");
    AutostartLoginItems items("/proc/self/autostart", helper.string(), true);
    EXPECT_FALSE(items.setEnabled(HelperBundleIdentifier, true));
    EXPECT_FALSE(fs::exists(helper.string() + ".started"));
}

TEST_F(LaunchAtLogin, EntryIsADirectory) {
    const fs::path helper = installFakeHelper(root_ / "bundle");
    fs::create_directories(entryIn(autostart_) / "inside");
    AutostartLoginItems items(autostart_, helper.string(), true);

    EXPECT_FALSE(items.setEnabled(HelperBundleIdentifier, true));
    EXPECT_FALSE(items.setEnabled(HelperBundleIdentifier, false));
    EXPECT_TRUE(fs::exists(entryIn(autostart_) / "inside"));
}

TEST_F(LaunchAtLogin, NothingWrittenWhenTheHelperCannotWork) {
    const fs::path helper = installFakeHelper(root_ / "bundle");
    // No session bus: the helper could never be told to quit.
    EXPECT_FALSE(AutostartLoginItems(autostart_, helper.string(), false)
                     .setEnabled(HelperBundleIdentifier, true));
    // The helper is missing from the bundle.
    EXPECT_FALSE(AutostartLoginItems(autostart_, (root_ / "missing").string(), true)
                     .setEnabled(HelperBundleIdentifier, true));
    // A path that is not UTF-8 can't be written into a desktop entry.
    const fs::path latin1 = installFakeHelper(root_ / "B\xe4tterie");
    EXPECT_FALSE(AutostartLoginItems(autostart_, latin1.string(), true)
                     .setEnabled(HelperBundleIdentifier, true));
    // Only the helper can be a login item.
    EXPECT_FALSE(AutostartLoginItems(autostart_, helper.string(), true)
                     .setEnabled(MainBundleIdentifier, true));

    EXPECT_FALSE(fs::exists(autostart_ / (std::string(HelperBundleIdentifier) + ".desktop")));
    EXPECT_FALSE(fs::exists(helper.string() + ".started"));
    EXPECT_FALSE(fs::exists(latin1.string() + ".started"));
}

TEST(AutostartDirectory, FollowsTheBaseDirectoryRules) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = savedConfig ? savedConfig : "";

    ::setenv("XDG_CONFIG_HOME", "/elsewhere/config", 1);
    EXPECT_EQ(userAutostartDirectory(), fs::path("/elsewhere/config/autostart"));
    // A relative value is invalid and ignored.
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(userAutostartDirectory(), fs::path(g_get_home_dir()) / ".config/autostart");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(userAutostartDirectory(), fs::path(g_get_home_dir()) / ".config/autostart");

    if (savedConfig) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace ampora::linux_port
