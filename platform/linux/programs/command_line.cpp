#include "platform/linux/programs/command_line.h"

#include <glib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

namespace {

struct OptionContextFree {
    void operator()(GOptionContext* context) const { g_option_context_free(context); }
};

}  // namespace

std::optional<int> handleCommandLine(int& argc, char**& argv, Output& output) {
    gboolean version = FALSE;
    gboolean watch = FALSE;
    gchar* format = nullptr;
    const GOptionEntry entries[] = {
        {"watch", 0, 0, G_OPTION_ARG_NONE, &watch,
         "Print the title on standard output each time it changes, for bars; no tray", nullptr},
        {"format", 0, 0, G_OPTION_ARG_STRING, &format,
         "With --watch: plain (the title alone, the default) or waybar (JSON)", "FORMAT"},
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
    const GCharPtr formatName(format);
    std::string wrong;
    if (!parsed) {
        wrong = failure->message;
    } else if (argc > 1) {
        wrong = std::string("unexpected argument ") + argv[1];
    } else if (formatName && !watch) {
        wrong = "--format needs --watch";
    } else if (formatName && std::strcmp(formatName.get(), "plain") != 0 &&
               std::strcmp(formatName.get(), "waybar") != 0) {
        wrong = std::string("unknown format ") + formatName.get() + " (plain or waybar)";
    }
    if (!wrong.empty()) {
        const GCharPtr usage(g_option_context_get_help(context.get(), TRUE, nullptr));
        std::fprintf(stderr, "Ampora: %s\n\n%s", wrong.c_str(), usage.get());
        return 2;
    }
    if (version) {
        std::printf("Ampora %s\n", AMPORA_VERSION);
        return 0;
    }
    const bool waybar = formatName && std::strcmp(formatName.get(), "waybar") == 0;
    output = !watch ? Output::Tray : waybar ? Output::Waybar : Output::Lines;
    return std::nullopt;
}

}  // namespace ampora::linux_port
