#include "platform/linux/session/autostart_login_items.h"

#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/session/desktop_entry.h"
#include "platform/linux/session/process_launch.h"
#include "shared/identifiers.h"

namespace ampora::linux_port {

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now and reports whether the last writes made it.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::filesystem::path userAutostartDirectory() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (configHome && configHome[0] == '/') {
        base = configHome;
    } else {
        base = std::filesystem::path(g_get_home_dir()) / ".config";
    }
    return base / "autostart";
}

AutostartLoginItems::AutostartLoginItems(std::filesystem::path autostartDirectory,
                                         std::string helperExecutable, bool sessionBusAvailable,
                                         const PrivateEnvironment* privateEnvironment)
    : directory_(std::move(autostartDirectory)),
      helperExecutable_(std::move(helperExecutable)),
      sessionBusAvailable_(sessionBusAvailable),
      privateEnvironment_(privateEnvironment) {}

std::filesystem::path AutostartLoginItems::entryPath() const {
    return directory_ / (std::string(HelperBundleIdentifier) + ".desktop");
}

bool AutostartLoginItems::setEnabled(std::string_view bundleIdentifier, bool enabled) {
    if (bundleIdentifier != HelperBundleIdentifier) return false;

    if (!enabled) {
        // An entry that is already gone is what was asked for.
        return ::unlink(entryPath().c_str()) == 0 || errno == ENOENT;
    }

    if (!sessionBusAvailable_) return false;
    if (!g_file_test(helperExecutable_.c_str(), G_FILE_TEST_IS_EXECUTABLE)) return false;
    if (!writeEntry()) return false;
    const GStrvPtr environment = privateEnvironment_ ? privateEnvironment_->forChildren() : nullptr;
    if (!launchDetached(helperExecutable_, environment.get())) {
        ::unlink(entryPath().c_str());
        return false;
    }
    return true;
}

bool AutostartLoginItems::writeEntry() const {
    const auto text = autostartEntryText("Ampora Helper", helperExecutable_);
    if (!text) return false;

    // Parents made here are private to the user, as the base directory rules ask.
    if (g_mkdir_with_parents(directory_.c_str(), 0700) != 0) return false;

    // A temporary file in the same directory, renamed over the entry: a session starting at any
    // moment sees the old entry or the new one, never half of one.
    std::string temporary = entryPath().string() + ".XXXXXX";
    FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) return false;
    const bool written = ::fchmod(file.get(), 0644) == 0 && writeAll(file.get(), *text) &&
                         ::fsync(file.get()) == 0 && file.close();
    if (!written || ::rename(temporary.c_str(), entryPath().c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }

    FileDescriptor directory(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) (void)::fsync(directory.get());
    return true;
}

}  // namespace ampora::linux_port
