// Launch at login on a Linux desktop: the autostart entry for the helper, written and removed
// in a throw-away configuration directory, and started the way a session starts it.
#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/base/glib_handles.h"
#include "platform/linux/session/autostart_login_items.h"
#include "shared/identifiers.h"

namespace ampora::linux_port {
namespace {

namespace fs = std::filesystem;

class LaunchAtLogin : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ampora-login-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        autostart_ = root_ / "config" / "autostart";
        helper_ = installHelper(root_ / "bundle");
    }
    void TearDown() override { fs::remove_all(root_); }

    // A stand-in for the helper: it leaves a mark next to itself when started.
    static fs::path installHelper(const fs::path& directory) {
        fs::create_directories(directory);
        const fs::path helper = directory / "Ampora-Helper";
        std::ofstream(helper) << "#!/bin/sh\necho started >> \"$0.started\"\n";
        fs::permissions(helper, fs::perms::owner_all);
        return helper;
    }
    static bool started(const fs::path& helper) {
        for (int i = 0; i < 200; ++i) {
            if (fs::remove(helper.string() + ".started")) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }
    static fs::path entryIn(const fs::path& autostart) {
        return autostart / (std::string(HelperBundleIdentifier) + ".desktop");
    }
    static std::string entryText(const fs::path& autostart) {
        std::ostringstream text;
        text << std::ifstream(entryIn(autostart)).rdbuf();
        return text.str();
    }
    static ino_t inodeOf(const fs::path& file) {
        struct stat status {};
        return ::stat(file.c_str(), &status) == 0 ? status.st_ino : 0;
    }
    static bool validEntry(const fs::path& autostart) {
        const std::string command = "desktop-file-validate '" + entryIn(autostart).string() + "'";
        return std::system(command.c_str()) == 0;
    }

    fs::path root_, autostart_, helper_;
};

// (Its text: with the edited entries below.)
TEST_F(LaunchAtLogin, FreshAccountGetsAPrivateEntryAndTheHelperStartsAtOnce) {
    AutostartLoginItems items(autostart_, helper_.string(), true);
    EXPECT_EQ(items.status(HelperBundleIdentifier), LoginItemStatus::NotRegistered);
    // Started with standard input closed, the entry is written through descriptor 0, and closed.
    const int input = ::dup(STDIN_FILENO);
    ::close(STDIN_FILENO);
    const bool enabled = items.setEnabled(HelperBundleIdentifier, true);
    EXPECT_EQ(::fcntl(STDIN_FILENO, F_GETFD), -1) << "descriptor 0 left open";
    ::dup2(input, STDIN_FILENO);
    ::close(input);
    ASSERT_TRUE(enabled);
    EXPECT_EQ(items.status(HelperBundleIdentifier), LoginItemStatus::Enabled);
    // The session's autostart directories are private to the user; nothing but the entry is left.
    for (const fs::path& made : {autostart_, autostart_.parent_path()})
        EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(std::distance(fs::directory_iterator(autostart_), fs::directory_iterator()), 1);
    EXPECT_TRUE(started(helper_));

    // Off, and again off: both a success (whatever errno says).
    errno = ENOTDIR;
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(items.setEnabled(HelperBundleIdentifier, false));
    EXPECT_FALSE(fs::exists(entryIn(autostart_)));
    EXPECT_EQ(items.status(HelperBundleIdentifier), LoginItemStatus::NotRegistered);
}

// Each of these directory names once broke someone's autostart entry. The entry must start the
// helper exactly where it is, read back by GLib's own desktop-entry launcher.
TEST_F(LaunchAtLogin, HelperInstalledUnderAwkwardPaths) {
    const char* names[] = {
        "with spaces \"double\" 'single' $HOME ${PATH} back\\slash `tick` semi;colon & pipe| "
        "~tilde #hash *?[] Bätterie ⚡ Überwachung",
        "100% battery %f%u field codes",
    };
    int count = 0;
    for (const std::string name : names) {
        SCOPED_TRACE(name);
        const fs::path helper = installHelper(root_ / "apps" / name / "Contents");
        const fs::path autostart = root_ / ("autostart " + std::to_string(++count));
        AutostartLoginItems items(autostart, helper.string(), true);
        ASSERT_TRUE(items.setEnabled(HelperBundleIdentifier, true));
        ASSERT_TRUE(started(helper));
        EXPECT_EQ(items.status(HelperBundleIdentifier), LoginItemStatus::Enabled);
        EXPECT_TRUE(validEntry(autostart));
        // GLib checks that the program exists before expanding "%%" back to "%", so it refuses
        // such an entry although it follows the rules; other sessions start it.
        if (name.find('%') != std::string::npos) continue;
        GObjectPtr<GDesktopAppInfo> app(
            g_desktop_app_info_new_from_filename(entryIn(autostart).c_str()));
        ASSERT_TRUE(app);
        EXPECT_TRUE(g_app_info_launch(G_APP_INFO(app.get()), nullptr, nullptr, nullptr));
        EXPECT_TRUE(started(helper));
    }
}

// Refused, with nothing written and nothing started, when the entry can't be written or the
// helper could never work.
TEST_F(LaunchAtLogin, RefusedWithoutAWorkingHelperOrAWritableEntry) {
    std::ofstream(root_ / "file") << "not a directory";
    fs::create_directories(entryIn(root_ / "taken") / "inside");
    struct Case {
        const char* situation;
        fs::path autostart;
        fs::path helper;
        bool sessionBus = true;
        std::string_view identifier = HelperBundleIdentifier;
    };
    const Case cases[] = {
        {"no session bus: the helper could never be told to quit", autostart_, helper_, false},
        {"only the helper can be a login item", autostart_, helper_, true, MainBundleIdentifier},
        {"a tab can't be written into a desktop entry", autostart_,
         installHelper(root_ / "tab\there")},
        {"the configuration directory is a file", root_ / "file" / "autostart", helper_},
        {"the entry is a directory", root_ / "taken", helper_},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(AutostartLoginItems(c.autostart, c.helper.string(), c.sessionBus)
                         .setEnabled(c.identifier, true))
            << c.situation;
        std::error_code none;
        for (const auto& file : fs::directory_iterator(c.autostart, none))
            EXPECT_FALSE(file.is_regular_file()) << c.situation << ": " << file.path();
        EXPECT_FALSE(fs::exists(c.helper.string() + ".started")) << c.situation;
    }
    EXPECT_EQ(std::ifstream(root_ / "file").get(), 'n');
    EXPECT_FALSE(AutostartLoginItems(root_ / "taken", helper_.string(), true)
                     .setEnabled(HelperBundleIdentifier, false));
    EXPECT_TRUE(fs::exists(entryIn(root_ / "taken") / "inside"));
    // Where no entry can exist, off is what it is.
    EXPECT_TRUE(AutostartLoginItems(root_ / "file" / "autostart", helper_.string(), true)
                    .setEnabled(HelperBundleIdentifier, false));
}

// The user's own lines stay, byte for byte and in place; only what decides that the session
// starts this helper is set, and what a valid entry needs is added after the user's keys. An
// entry is ours only once it starts this helper (not one left by an installation elsewhere).
TEST_F(LaunchAtLogin, UsersEntryKeepsAllButTheKeysAmporaOwns) {
    const std::string exec = "Exec=" + helper_.string() + "\n";
    const std::string tryExec = "TryExec=" + helper_.string() + "\n";
    const std::string ours = "[Desktop Entry]\nType=Application\nName=Ampora Helper\n" + tryExec +
                             exec + "NoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    const std::string users =
        "# mine\n[Desktop Entry]\nName=Ampora Helper\nName[de]=Ampora-Helfer\nType=Application\n"
        "Exec = /old/Ampora-Helper\n\n# later\nX-GNOME-Autostart-Delay=15\nOnlyShowIn=XFCE;\n"
        "NoDisplay=false\n\n[Desktop Action x]\nExec=other\n";
    const std::string usersNowOurs =
        "# mine\n[Desktop Entry]\nName=Ampora Helper\nName[de]=Ampora-Helfer\nType=Application\n" +
        exec + "\n# later\nX-GNOME-Autostart-Delay=15\nOnlyShowIn=XFCE;\nNoDisplay=false\n" +
        tryExec + "X-GNOME-Autostart-enabled=true\n\n[Desktop Action x]\nExec=other\n";
    const std::string switchedOff = "[Desktop Entry]\nHidden=true\n" + exec +
                                    "X-GNOME-Autostart-enabled=false\nComment=x\nExec=/a/b";
    const std::string switchedOn = "[Desktop Entry]\n" + exec +
                                   "X-GNOME-Autostart-enabled=true\nComment=x\n"
                                   "Type=Application\nName=Ampora Helper\n" +
                                   tryExec + "NoDisplay=true\n";
    const std::pair<std::string, std::string> cases[] = {
        {users, usersNowOurs},
        {switchedOff, switchedOn},
        {ours, ours},
        {"[Desktop Entry\nno entry at all", ours},
        {"[Desktop Action x]\nExec=" + helper_.string() + "\n", ours},
    };
    fs::create_directories(autostart_);
    for (const auto& [before, after] : cases) {
        std::ofstream(entryIn(autostart_)) << before;
        fs::permissions(entryIn(autostart_), fs::perms::owner_read | fs::perms::owner_write);
        const ino_t inode = inodeOf(entryIn(autostart_));
        AutostartLoginItems items(autostart_, helper_.string(), true);
        EXPECT_EQ(items.status(HelperBundleIdentifier) == LoginItemStatus::Enabled,
                  before == after);
        ASSERT_TRUE(items.setEnabled(HelperBundleIdentifier, true)) << before;
        EXPECT_NE(::fcntl(STDIN_FILENO, F_GETFD), -1) << "a descriptor closed twice";
        EXPECT_EQ(entryText(autostart_), after);
        EXPECT_EQ(items.status(HelperBundleIdentifier), LoginItemStatus::Enabled) << before;
        EXPECT_EQ(fs::status(entryIn(autostart_)).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(inodeOf(entryIn(autostart_)) == inode, before == after) << before;
        EXPECT_TRUE(started(helper_));
        fs::remove(entryIn(autostart_));
    }
}

// Dotfiles keep the entry elsewhere behind a symbolic link: the link stays and its file is
// written. Our temporaries left by a write that was killed before its rename go with the next
// write; files that only look alike stay.
TEST_F(LaunchAtLogin, SymlinkedEntryIsWrittenThroughAndOurStrayTemporariesGo) {
    const fs::path dotfiles = root_ / "dotfiles";
    fs::create_directories(dotfiles);
    fs::create_directories(autostart_);
    std::ofstream(dotfiles / "helper.desktop") << "[Desktop Entry]\nExec=/old/Ampora-Helper\n";
    fs::create_symlink("../../dotfiles/helper.desktop", entryIn(autostart_));
    const std::string strays[] = {"helper.desktop.Ab12Cd", "helper.desktop.zzzzzz"};
    const std::string kept[] = {"helper.desktop.Ab12C", "helper.desktop.Ab-2Cd", "helper.desktop~",
                                "helper.desktop.bak", "old.desktop.Ab12Cd"};
    for (const auto& name : strays) std::ofstream(dotfiles / name) << "[Desktop";
    for (const auto& name : kept) std::ofstream(dotfiles / name) << "mine";
    fs::create_directory(dotfiles / "helper.desktop.Dir123");

    AutostartLoginItems items(autostart_, helper_.string(), true);
    ASSERT_TRUE(items.setEnabled(HelperBundleIdentifier, true));
    EXPECT_TRUE(fs::is_symlink(entryIn(autostart_)));
    EXPECT_EQ(entryText(autostart_).substr(0, 21 + helper_.string().size()),
              "[Desktop Entry]\nExec=" + helper_.string());
    EXPECT_EQ(items.status(HelperBundleIdentifier), LoginItemStatus::Enabled);
    for (const auto& name : strays) EXPECT_FALSE(fs::exists(dotfiles / name)) << name;
    for (const auto& name : kept) EXPECT_TRUE(fs::exists(dotfiles / name)) << name;
    EXPECT_TRUE(fs::exists(dotfiles / "helper.desktop.Dir123"));
    EXPECT_TRUE(started(helper_));

    // Off: the link goes, the user's file stays.
    ASSERT_TRUE(items.setEnabled(HelperBundleIdentifier, false));
    EXPECT_FALSE(fs::exists(fs::symlink_status(entryIn(autostart_))));
    EXPECT_TRUE(fs::exists(dotfiles / "helper.desktop"));
}

TEST(AutostartDirectory, FollowsTheBaseDirectoryRules) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = savedConfig ? savedConfig : "";
    const fs::path fallback = fs::path(g_get_home_dir()) / ".config/autostart";

    ::setenv("XDG_CONFIG_HOME", "/elsewhere/config", 1);
    EXPECT_EQ(userAutostartDirectory(), fs::path("/elsewhere/config/autostart"));
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // invalid, so ignored
    EXPECT_EQ(userAutostartDirectory(), fallback);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(userAutostartDirectory(), fallback);

    if (savedConfig) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace ampora::linux_port
