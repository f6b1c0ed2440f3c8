// Builds a property dictionary from the input, as a misbehaving driver might publish it, and runs
// one update's work on it: read the record, make the report, check what must always hold. (The
// seeds in fuzz/corpus/battery are written for this reading order: keep it.)
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "battery/battery_report.h"
#include "battery/read_battery_properties.h"

namespace {

using namespace ampora;

// Picked from as often as an arbitrary key, number or real: the values the reader must get right.
// clang-format off
constexpr const char* kKeys[] = {
    "ManufactureDate", "Temperature", "ExternalConnected", "ExternalChargeCapable",
    "BatteryInstalled", "IsCharging", "ErrorCondition", "BatterySerialNumber", "ChargeStatus",
    "CurrentCapacity", "MaxCapacity", "DesignCapacity", "TimeRemaining", "InstantAmperage",
    "Amperage", "MaxErr", "CycleCount", "Location", "BatteryInvalidWakeSeconds",
    "PermanentFailureStatus"};
constexpr std::int64_t kIntegers[] = {
    0, 1, -1, 9, -9, 10, -10, std::numeric_limits<std::int32_t>::min(),
    std::numeric_limits<std::int32_t>::max(), std::int64_t{1} << 32,
    (std::int64_t{1} << 31) - 1 + (std::int64_t{1} << 32),
    std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()};
constexpr double kReals[] = {
    0.0, -0.0, 0.5, -0.999, 2147483647.5, -2147483648.5, 2147483648.0, -2147483649.0, 1e300,
    std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
    -std::numeric_limits<double>::quiet_NaN()};
// clang-format on

PropertyValue makeValue(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 6)) {
        case 0:
            return in.PickValueInArray(kIntegers);
        case 1:
            return in.ConsumeIntegral<std::int64_t>();
        case 2:
            return in.PickValueInArray(kReals);
        case 3:
            return in.ConsumeFloatingPoint<double>();
        case 4:
            return in.ConsumeBool();
        case 5:
            return in.ConsumeRandomLengthString(64);  // any bytes: NULs, broken UTF-8
        default:
            return OtherObject{};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    PropertyDictionary properties;
    while (in.remaining_bytes() > 0) {
        std::string key = in.ConsumeBool() ? std::string(in.PickValueInArray(kKeys))
                                           : in.ConsumeRandomLengthString(24);
        if (in.ConsumeIntegralInRange(0, 15) == 0) {
            properties.erase(key);
        } else {
            properties.set(std::move(key), makeValue(in));
        }
    }

    IOPMBattery record{};
    readBatteryProperties(record, properties);
    // The title is the usage line's figure, or a dash where there is none; no text depends on
    // the locale; no share is made up (nan, inf, negative or over 100 %).
    const BatteryReport report = makeBatteryReport(record);
    const std::string& usage = report.pairs[0].value;
    if (record.hasAmperage ? usage != "\t" + report.title + " mAh (milliampere-hour)"
                           : report.title != "\u2014" || usage != "\tNot reported") {
        std::abort();
    }
    for (const ReportLine& line : report.pairs) {
        const std::string& text = line.value;
        if (text.empty() || text[0] != '\t' || text.find(',') != std::string::npos ||
            text.find("nan") != std::string::npos || text.find("inf") != std::string::npos) {
            std::abort();
        }
        if (const auto percent = text.find('%'); percent != std::string::npos) {
            const auto start = text.find_last_not_of(".0123456789", percent - 1) + 1;
            const std::string share = text.substr(start, percent - start);
            if (text[start - 1] == '-' || share.empty() ||
                std::strtod(share.c_str(), nullptr) > 100) {
                std::abort();
            }
        }
    }
    return 0;
}
