#pragma once

#include <array>
#include <string>
#include <string_view>

#include "battery/iopm_battery.h"

namespace ampora {

struct ReportLine {
    std::string_view label;
    std::string value;

    bool operator==(const ReportLine&) const = default;
};

// What one reading shows: the status title (the current drawn, in mA) and the seven menu lines.
// All texts are UTF-8 and independent of the user's locale.
struct BatteryReport {
    static constexpr std::size_t kLineCount = 7;

    std::string title;
    std::array<ReportLine, kLineCount> pairs;
};

BatteryReport makeBatteryReport(const IOPMBattery& record);

}  // namespace ampora
