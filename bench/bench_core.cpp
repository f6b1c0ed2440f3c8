// The per-update cost of the battery core: what the watcher spends on every status change.
#include <benchmark/benchmark.h>

#include "battery/battery_report.h"
#include "battery/read_battery_properties.h"
#include "laptop_battery.h"

namespace ampora {
namespace {

// What a laptop battery publishes: the reader's keys plus a few it skips.
PropertyDictionary laptopProperties() {
    PropertyDictionary properties = testing::laptopBatteryProperties();
    properties.set("InstantAmperage", std::int64_t{-1250});
    properties.set("TimeRemaining", std::int64_t{146});
    properties.set("MaxErr", std::int64_t{1});
    properties.set("Location", std::int64_t{0});
    properties.set("PermanentFailureStatus", std::int64_t{0});
    properties.set("BatteryInvalidWakeSeconds", std::int64_t{30});
    properties.set("ExternalConnected", false);
    properties.set("ExternalChargeCapable", false);
    properties.set("BatteryInstalled", true);
    properties.set("IsCharging", false);
    properties.set("BatterySerialNumber", std::string("W01234567ABCD"));
    properties.set("ChargeStatus", std::string("Discharging"));
    properties.set("Voltage", std::int64_t{12414});
    properties.set("CellVoltage", OtherObject{});
    properties.set("BatteryData", OtherObject{});
    properties.set("FullyCharged", false);
    properties.set("DeviceName", std::string("bq20z451"));
    return properties;
}

void ReadProperties(benchmark::State& state) {
    const PropertyDictionary properties = laptopProperties();
    for (auto _ : state) {
        IOPMBattery record{};
        readBatteryProperties(record, properties);
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(ReadProperties);

void MakeReport(benchmark::State& state) {
    const PropertyDictionary properties = laptopProperties();
    IOPMBattery record{};
    readBatteryProperties(record, properties);
    for (auto _ : state) {
        BatteryReport report = makeBatteryReport(record);
        benchmark::DoNotOptimize(report);
    }
}
BENCHMARK(MakeReport);

void ReadAndReport(benchmark::State& state) {
    const PropertyDictionary properties = laptopProperties();
    for (auto _ : state) {
        IOPMBattery record{};
        readBatteryProperties(record, properties);
        BatteryReport report = makeBatteryReport(record);
        benchmark::DoNotOptimize(report);
    }
}
BENCHMARK(ReadAndReport);

}  // namespace
}  // namespace ampora
