#pragma once

#include <glib.h>

#include <string_view>

namespace ampora::linux_port {

// Sends GLib's log messages, ours (the "Ampora" domain) and the libraries', where someone can
// read them: to the journal when standard error leads nowhere (silenced at start-up), elsewhere
// as GLib would, with ours on standard error as one plain "<program>: <message>" line. Called
// once, at the start of main.
void startLogging(const char* program);

// A one-off failure, and a detail that only matters when debugging.
void logWarning(std::string_view message);
void logDebug(std::string_view message);

// A failure that is dropped and may come back with every event: a warning the first time, then
// at debug level only, so the journal gets one line however often it happens.
class RecurringFailure {
  public:
    void log(std::string_view what, const GError* error = nullptr);

  private:
    bool warned_ = false;
};

}  // namespace ampora::linux_port
