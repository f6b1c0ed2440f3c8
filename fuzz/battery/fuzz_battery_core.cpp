// Builds a property dictionary from the input, as a misbehaving driver might publish it, and runs
// one update's work on it: read the record, make the report, check what must always hold.
#include <charconv>
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

constexpr const char* kKeys[] = {"ManufactureDate",
                                 "Temperature",
                                 "ExternalConnected",
                                 "ExternalChargeCapable",
                                 "BatteryInstalled",
                                 "IsCharging",
                                 "ErrorCondition",
                                 "BatterySerialNumber",
                                 "ChargeStatus",
                                 "CurrentCapacity",
                                 "MaxCapacity",
                                 "DesignCapacity",
                                 "TimeRemaining",
                                 "InstantAmperage",
                                 "Amperage",
                                 "MaxErr",
                                 "CycleCount",
                                 "Location",
                                 "BatteryInvalidWakeSeconds",
                                 "PermanentFailureStatus"};

constexpr std::int64_t kIntegers[] = {0,
                                      1,
                                      -1,
                                      9,
                                      -9,
                                      10,
                                      -10,
                                      std::numeric_limits<std::int32_t>::min(),
                                      std::numeric_limits<std::int32_t>::max(),
                                      std::int64_t{1} << 32,
                                      (std::int64_t{1} << 31) - 1 + (std::int64_t{1} << 32),
                                      std::numeric_limits<std::int64_t>::min(),
                                      std::numeric_limits<std::int64_t>::max()};

constexpr double kReals[] = {0.0,
                             -0.0,
                             0.5,
                             -0.999,
                             2147483647.5,
                             -2147483648.5,
                             2147483648.0,
                             -2147483649.0,
                             1e300,
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             -std::numeric_limits<double>::quiet_NaN()};

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

void check(bool condition) {
    if (!condition) std::abort();
}

std::int64_t parseWhole(std::string_view text) {
    std::int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    check(result.ec == std::errc{} && result.ptr == text.data() + text.size());
    return value;
}

void checkRecord(const IOPMBattery& record, const PropertyDictionary& properties) {
    // Borrowed texts point at the dictionary's own text values, or nowhere.
    const std::pair<const std::string*, const char*> texts[] = {
        {record.serialNumber, "BatterySerialNumber"},
        {record.errorCondition, "ErrorCondition"},
        {record.chargeStatus, "ChargeStatus"}};
    for (const auto& [field, key] : texts) {
        const PropertyValue* value = properties.lookup(key);
        check(field == (value ? std::get_if<std::string>(value) : nullptr));
    }
    const PropertyValue* wake = properties.lookup("BatteryInvalidWakeSeconds");
    if (!wake || !toInt32(*wake)) check(record.invalidWakeSeconds == 16);
}

void checkReport(const BatteryReport& report, const IOPMBattery& record) {
    check(parseWhole(report.title) == -static_cast<std::int64_t>(record.amperage));
    check(report.pairs[0].value == "\t" + report.title + " mAh (milliampere-hour)");
    for (const ReportLine& line : report.pairs) {
        check(!line.label.empty() && line.value.size() > 1 && line.value[0] == '\t');
        check(line.value.find(',') == std::string::npos);
    }
    check(report.pairs[4].value.size() == 11);  // \tDD/MM/YYYY

    // The Celsius text is the temperature with a point before its last two digits.
    const std::string_view temperature = report.pairs[5].value;
    const std::size_t degree = temperature.find("\u00B0C  (");
    check(degree != std::string_view::npos && degree >= 4);
    std::string digits(temperature.substr(1, degree - 1));
    check(digits[digits.size() - 3] == '.');
    digits.erase(digits.size() - 3, 1);
    check(parseWhole(digits) == record.temperature);
    check(temperature.ends_with(" \u00B0F)"));
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
    checkRecord(record, properties);
    checkReport(makeBatteryReport(record), record);
    return 0;
}
