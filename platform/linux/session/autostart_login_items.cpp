#include "platform/linux/session/autostart_login_items.h"

#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/linux/base/file_descriptor.h"
#include "platform/linux/session/desktop_entry.h"
#include "platform/linux/session/desktop_entry_edit.h"
#include "platform/linux/session/process_launch.h"
#include "shared/identifiers.h"

namespace ampora::linux_port {

namespace {

namespace fs = std::filesystem;

// Entries are a few hundred bytes; a bigger file is nothing we wrote or could edit.
constexpr off_t kEntrySizeLimit = 1 << 20;
// As many symbolic links as the kernel follows in one path.
constexpr int kSymlinkLimit = 40;
// mkstemp's "XXXXXX": six letters or digits.
constexpr std::string_view kTemporarySuffix = ".XXXXXX";

std::string reason(const fs::path& path, int error) {
    return path.string() + ": " + g_strerror(error);
}

// The file a (chain of) symbolic link(s) leads to, existing or not; the path itself otherwise.
std::optional<fs::path> targetOf(fs::path path) {
    for (int hops = 0; hops < kSymlinkLimit; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        const fs::path link = fs::read_symlink(path, error);
        if (error) {
            errno = error.value();
            return std::nullopt;
        }
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    errno = ELOOP;
    return std::nullopt;
}

struct Entry {
    std::string text;
    mode_t mode;
};

// A regular file's text and permissions; nothing for anything else (a FIFO is never waited on).
std::optional<Entry> readEntry(const fs::path& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > kEntrySizeLimit) {
        return std::nullopt;
    }
    Entry entry{std::string(static_cast<std::size_t>(status.st_size), '\0'),
                status.st_mode & 07777};
    std::size_t done = 0;
    while (done < entry.text.size()) {
        const ssize_t n = ::read(file.get(), entry.text.data() + done, entry.text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    entry.text.resize(done);
    return entry;
}

// A temporary file in the same directory, renamed over the file: a session starting at any
// moment sees the old entry or the new one, never half of one. 0, or the errno of the failure.
int writeAtomically(const fs::path& path, const std::string& text, mode_t mode) {
    std::string temporary = path.string() + std::string(kTemporarySuffix);
    FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) return errno;
    const bool written = ::fchmod(file.get(), mode) == 0 && file.writeAll(text) &&
                         ::fsync(file.get()) == 0 && file.close();
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return error;
    }
    FileDescriptor directory(
        ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) (void)::fsync(directory.get());
    return 0;
}

// What writeAtomically leaves when we are killed between writing and renaming: files named like
// its temporaries, and only those.
void removeStrayTemporaries(const fs::path& path) {
    const std::string prefix = path.filename().string() + ".";
    std::error_code error;
    for (fs::directory_iterator file(path.parent_path(), error), end; !error && file != end;
         file.increment(error)) {
        const std::string name = file->path().filename().string();
        std::error_code ignored;
        if (name.size() == prefix.size() + kTemporarySuffix.size() - 1 &&
            name.starts_with(prefix) &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                        [](unsigned char c) { return g_ascii_isalnum(c); }) &&
            fs::is_regular_file(file->symlink_status(ignored))) {
            fs::remove(file->path(), ignored);
        }
    }
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

LoginItemStatus AutostartLoginItems::status(std::string_view bundleIdentifier) {
    if (bundleIdentifier != HelperBundleIdentifier) return LoginItemStatus::NotRegistered;
    const auto entry = readEntry(entryPath());
    return entry && autostartEntryStarts(entry->text, helperExecutable_)
               ? LoginItemStatus::Enabled
               : LoginItemStatus::NotRegistered;
}

bool AutostartLoginItems::setEnabled(std::string_view bundleIdentifier, bool enabled) {
    if (bundleIdentifier != HelperBundleIdentifier) return false;
    return enabled ? enable() : disable();
}

bool AutostartLoginItems::refuse(const std::string& why) {
    refusal_.log("launch at login: " + why);
    return false;
}

bool AutostartLoginItems::disable() {
    const fs::path entry = entryPath();
    if (const auto target = targetOf(entry)) removeStrayTemporaries(*target);
    // An entry that is gone, or that can't exist (a file where a directory should be), is what
    // was asked for. A symbolic link goes, not the file it leads to.
    if (::unlink(entry.c_str()) == 0 || errno == ENOENT || errno == ENOTDIR) return true;
    return refuse("cannot remove " + reason(entry, errno));
}

bool AutostartLoginItems::enable() {
    if (!sessionBusAvailable_) return refuse("no session bus to tell the helper to quit");
    if (!g_file_test(helperExecutable_.c_str(), G_FILE_TEST_IS_EXECUTABLE)) {
        return refuse("the helper " + helperExecutable_ + " is missing or can't be run");
    }
    const auto ours = autostartEntryText("Ampora Helper", helperExecutable_);
    if (!ours) return refuse("the helper's path can't be written into a desktop entry");

    // Parents made here are private to the user, as the base directory rules ask.
    if (g_mkdir_with_parents(directory_.c_str(), 0700) != 0) {
        return refuse("cannot create " + reason(directory_, errno));
    }
    const auto target = targetOf(entryPath());
    if (!target) return refuse("cannot follow " + reason(entryPath(), errno));
    const auto users = readEntry(*target);
    // An entry that already starts the helper stays as it is.
    const bool write = !users || !autostartEntryStarts(users->text, helperExecutable_);
    if (write) {
        const std::string text = users ? mergeAutostartEntry(users->text, *ours) : *ours;
        if (const int error = writeAtomically(*target, text, users ? users->mode : 0644)) {
            return refuse("cannot write " + reason(*target, error));
        }
    }
    removeStrayTemporaries(*target);
    const GStrvPtr environment = privateEnvironment_ ? privateEnvironment_->forChildren() : nullptr;
    if (launchDetached(helperExecutable_, environment.get())) return true;

    // Nothing half-done: the entry goes back to what it was.
    if (write && users) (void)writeAtomically(*target, users->text, users->mode);
    if (write && !users) ::unlink(target->c_str());
    return refuse("cannot start the helper " + helperExecutable_);
}

}  // namespace ampora::linux_port
