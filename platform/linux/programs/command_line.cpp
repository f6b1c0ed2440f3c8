#include "platform/linux/programs/command_line.h"

#include <glib.h>

#include <cstdio>
#include <memory>

#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

namespace {

struct OptionContextFree {
    void operator()(GOptionContext* context) const { g_option_context_free(context); }
};

}  // namespace

std::optional<int> handleCommandLine(int& argc, char**& argv) {
    gboolean version = FALSE;
    const GOptionEntry entries[] = {
        {"version", 0, 0, G_OPTION_ARG_NONE, &version, "Show the version and exit", nullptr},
        {},
    };
    const std::unique_ptr<GOptionContext, OptionContextFree> context(g_option_context_new(""));
    g_option_context_set_summary(context.get(),
                                 "Shows the current drawn from the battery in the system tray.");
    g_option_context_add_main_entries(context.get(), entries, nullptr);

    // --help prints to standard output and exits 0 from here.
    GError* error = nullptr;
    const bool parsed = g_option_context_parse(context.get(), &argc, &argv, &error);
    const GErrorPtr failure(error);
    if (parsed && argc <= 1) {
        if (!version) return std::nullopt;
        std::printf("Ampora %s\n", AMPORA_VERSION);
        return 0;
    }
    const GCharPtr usage(g_option_context_get_help(context.get(), TRUE, nullptr));
    if (failure) {
        std::fprintf(stderr, "Ampora: %s\n\n%s", failure->message, usage.get());
    } else {
        std::fprintf(stderr, "Ampora: unexpected argument %s\n\n%s", argv[1], usage.get());
    }
    return 2;
}

}  // namespace ampora::linux_port
