#include "platform/linux/base/logging.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace ampora::linux_port {

namespace {

const char* fieldText(const GLogField* fields, gsize count, const char* key) {
    for (gsize i = 0; i < count; ++i) {
        if (std::strcmp(fields[i].key, key) == 0 && fields[i].length < 0) {
            return static_cast<const char*>(fields[i].value);
        }
    }
    return nullptr;
}

// Closed, or /dev/null: nobody reads what goes there.
bool standardErrorLeadsNowhere() {
    struct stat error {};
    struct stat null {};
    if (::fstat(STDERR_FILENO, &error) != 0) return true;
    return S_ISCHR(error.st_mode) && ::stat("/dev/null", &null) == 0 &&
           error.st_rdev == null.st_rdev;
}

GLogWriterOutput write(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data) {
    const char* program = static_cast<const char*>(data);
    const char* domain = fieldText(fields, count, "GLIB_DOMAIN");
    if (g_log_writer_default_would_drop(level, domain)) return G_LOG_WRITER_HANDLED;

    const bool ours = domain && std::strcmp(domain, G_LOG_DOMAIN) == 0;
    if (standardErrorLeadsNowhere() || g_log_writer_is_journald(STDERR_FILENO)) {
        // Named like the program, so `journalctl -t Ampora` finds it.
        std::vector<GLogField> tagged(fields, fields + count);
        tagged.push_back({"SYSLOG_IDENTIFIER", program, -1});
        if (g_log_writer_journald(level, tagged.data(), tagged.size(), nullptr) ==
            G_LOG_WRITER_HANDLED) {
            return G_LOG_WRITER_HANDLED;
        }
    }
    if (!ours) return g_log_writer_standard_streams(level, fields, count, nullptr);
    const char* message = fieldText(fields, count, "MESSAGE");
    std::fprintf(stderr, "%s: %s\n", program, message ? message : "");
    return G_LOG_WRITER_HANDLED;
}

void emit(GLogLevelFlags level, std::string_view message) {
    const std::string text(message);
    const GLogField fields[] = {
        {"GLIB_DOMAIN", G_LOG_DOMAIN, -1},
        {"PRIORITY", level == G_LOG_LEVEL_WARNING ? "4" : "7", -1},
        {"MESSAGE", text.c_str(), -1},
    };
    g_log_structured_array(level, fields, G_N_ELEMENTS(fields));
}

}  // namespace

void startLogging(const char* program) {
    g_log_set_writer_func(write, const_cast<char*>(program), nullptr);
}

void logWarning(std::string_view message) {
    emit(G_LOG_LEVEL_WARNING, message);
}

void logDebug(std::string_view message) {
    emit(G_LOG_LEVEL_DEBUG, message);
}

void RecurringFailure::log(std::string_view what, const GError* error) {
    std::string message(what);
    if (error) message.append(": ").append(error->message);
    if (warned_) return logDebug(message);
    warned_ = true;
    logWarning(message);
}

}  // namespace ampora::linux_port
