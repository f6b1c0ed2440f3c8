// The Linux reading path: the system's batteries' sysfs attributes, taken as one, through the
// reader to the texts the user reads; what buggy or unusual drivers write. The registry itself
// runs end to end, on simulated power supplies.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "battery/battery_report.h"
#include "battery/read_battery_properties.h"
#include "platform/linux/power/system_battery.h"

namespace ampora {
namespace {

const std::string kLaptop =
    "status=Discharging present=1 current_now=1234000 charge_now=3000000 charge_full=4000000 "
    "charge_full_design=5000000 cycle_count=321 temp=301 manufacture_year=2012 "
    "manufacture_month=11 manufacture_day=7 time_to_empty_now=5400 time_to_full_now=60";
// The two kinds of battery upower's integration tests build on: one that counts energy (an ACPI
// battery in mWh), one that counts charge.
const std::string kEnergy =
    "status=Discharging energy_full=60000000 energy_full_design=80000000 energy_now=48000000 "
    "voltage_now=12000000";
const std::string kCharge =
    "status=Discharging charge_full=10500000 charge_full_design=11000000 voltage_now=12000000";

// Each battery's attributes, "name=value ..." (a backslash keeps the blank after it, a later
// value of a name wins, "name=-" leaves it out), taken as one.
PropertyDictionary properties(const std::vector<std::string>& batteries, bool online = false) {
    std::vector<BatteryFigures> figures;
    for (const std::string& battery : batteries) {
        std::map<std::string, std::string, std::less<>> attributes;
        std::string pair;
        for (std::size_t i = 0; i <= battery.size(); ++i) {
            if (i < battery.size() && battery[i] != ' ') {
                pair += battery[i] == '\\' ? battery[++i] : battery[i];
            } else if (!pair.empty()) {
                attributes[pair.substr(0, pair.find('='))] = pair.substr(pair.find('=') + 1);
                pair.clear();
            }
        }
        figures.push_back(
            batteryFiguresFromSysfs([&](std::string_view name) -> std::optional<std::string> {
                const auto found = attributes.find(name);
                if (found == attributes.end() || found->second == "-") return std::nullopt;
                return found->second;
            }));
    }
    return systemBatteryProperties(figures, online);
}

// The title and the seven values, " | " between them, each value without its leading tab.
std::string shown(const std::vector<std::string>& batteries, bool online = false) {
    const PropertyDictionary dictionary = properties(batteries, online);
    IOPMBattery record{};
    readBatteryProperties(record, dictionary);
    const BatteryReport report = makeBatteryReport(record);
    std::string text = report.title;
    for (const ReportLine& line : report.pairs) {
        text += " | " + (line.value.starts_with('\t') ? line.value.substr(1) : "NO TAB");
    }
    return text;
}

// The set-ups of upower's own integration tests (freedesktop upower,
// src/linux/integration-test.py) that have a system battery, and the quirks around them that
// drivers are known for. The figures agree with upowerd's on the same attributes, except where
// the menu's formulas differ (see the comments).
TEST(LinuxBatteryReading, RealWorldBatteriesReadAsTheSystemIndicatorReadsThem) {
    const std::string nr = "Not reported";
    const std::string noFacts = " | " + nr + " | " + nr + " | " + nr + " | ";
    struct Case {
        const char* situation;
        std::vector<std::string> batteries;
        std::string expected;
        bool online = false;
    };
    const Case cases[] = {
        {"energy battery without a power reading",
         {kEnergy},
         "\u2014 | " + nr + " | 5000 mAh (75.00% of Original) | 6666 mAh" + noFacts +
             "4000 (80.00% Charged)"},
        // upowerd 0.99 believes the gauge's 60 %; later ones, like Ampora, the energies.
        {"MacBook whose capacity attribute is wrong", {kEnergy + " capacity=60"}, "80.00%"},
        {"battery almost empty, with temperature",
         {kEnergy + " energy_now=1500000 temp=254"},
         "25.40\u00B0C  (77.72 \u00B0F) | 125 (2.50% Charged)"},
        {"battery replaced by one of another design",
         {kEnergy + " energy_now=50000000 energy_full_design=90000000"},
         "5000 mAh (66.67% of Original) | 7500 mAh" + noFacts + "4166 (83.33% Charged)"},
        {"full battery drawing no power, a stale current beside it",
         {kEnergy + " status=Full energy_now=60000000 power_now=0 current_now=787000"},
         "0 | 0 mAh (milliampere-hour) | "},
        {"two packs discharging",
         {kEnergy + " power_now=2400000", kEnergy + " energy_now=1500000 power_now=13200000"},
         "1300 | 1300 mAh (milliampere-hour) | 10000 mAh (75.00% of Original) | 13332 mAh" +
             noFacts + "4125 (41.25% Charged)"},
        {"one pack charging while the other feeds the laptop",
         {kCharge + " status=Charging charge_now=5250000 current_now=1100000",
          kCharge + " charge_now=1000000 current_now=300000"},
         "-800 | -800 mAh (milliampere-hour) | 21000 mAh (95.45% of Original) | 22000 mAh" +
             noFacts + "6250 (29.76% Charged)"},
        // Cycle counts of 0 and -1 mean unknown; the most worn pack's count is shown.
        {"four packs, some counting cycles",
         {kEnergy, kEnergy + " energy_now=1500000 cycle_count=2000",
          kEnergy + " energy_now=1500000 cycle_count=0",
          kEnergy + " energy_now=1500000 cycle_count=-1"},
         "20000 mAh (75.00% of Original) | 26664 mAh | 2000 | " + nr + " | " + nr +
             " | 4375 (21.88% Charged)"},
        {"two packs in an unknown state",
         {kEnergy + " status=unknown", kEnergy + " status=unknown"},
         "\u2014 | " + nr + " | 10000 mAh (75.00% of Original) | 13332 mAh" + noFacts +
             "8000 (80.00% Charged)"},
        // Fuel gauges that count in percent: that share of full.
        {"gauge with only a percentage, not charging",
         {kCharge + " status=Not\\ charging capacity=40"},
         "\u2014 | " + nr + " | 10500 mAh (95.45% of Original) | 11000 mAh" + noFacts +
             "4200 (40.00% Charged)"},
        {"gauge at empty", {kCharge + " status=Unknown capacity=0"}, "0 (0.00% Charged)"},
        {"two gauges", {kCharge + " capacity=40", kCharge + " capacity=30"}, "7350 (35.00%"},
        {"phone battery with nothing but a percentage (Fairphone 4)",
         {"status=Charging capacity=77 voltage_max=4400000 voltage_now=4268584"},
         "\u2014 | " + nr + " | " + nr + " | " + nr + noFacts + "77.00% Charged"},
        {"battery counting charge",
         {kCharge + " charge_now=7875000 current_now=787000"},
         "787 | 787 mAh (milliampere-hour) | 10500 mAh (95.45% of Original) | 11000 mAh" + noFacts +
             "7875 (75.00% Charged)"},
        {"battery with a stray energy and power beside its charge and current",
         {kCharge +
          " charge_now=4200000 current_now=1500000 energy_now=9999999 power_now=99000000"},
         "1500 | 1500 mAh (milliampere-hour) | 10500 mAh (95.45% of Original) | 11000 mAh" +
             noFacts + "4200 (40.00% Charged)"},
        // upowerd raises full to the charge (health 100 %); the charge is taken as full here.
        {"gauge drifted above full, on mains",
         {kCharge + " status=Full current_now=1000 charge_now=11000000 charge_full=10000000 "
                    "capacity=110"},
         "-1 | -1 mAh (milliampere-hour) | 10000 mAh (90.91% of Original) | 11000 mAh" + noFacts +
             "10000 (100.00% Charged)",
         true},
        {"new battery holding more than its design",
         {kCharge + " charge_now=5250000 charge_full=11500000"},
         "11500 mAh (100.00% of Original) | 11000 mAh"},
        // upowerd takes a missing design as 100 % health.
        {"design capacity 0",
         {kCharge + " charge_now=5250000 charge_full_design=0"},
         " | 10500 mAh | " + nr + " | "},
        {"no design capacity", {kCharge + " charge_full_design=-"}, " | 10500 mAh | " + nr},
        // upowerd 0.99 uses no design voltage: it has no mAh for these.
        {"energy battery with only its design voltage",
         {kEnergy + " voltage_now=- voltage_min_design=11400000 power_now=9120000"},
         "800 | 800 mAh (milliampere-hour) | 5263 mAh (75.00% of Original) | 7017 mAh" + noFacts +
             "4210 (80.00% Charged)"},
        {"energy battery with only its charging voltage",
         {kEnergy + " voltage_now=- voltage_max_design=12600000 power_now=9120000"},
         "723 | 723 mAh (milliampere-hour) | 4761 mAh (75.00% of Original)"},
        {"energy battery without any voltage",
         {kEnergy + " voltage_now=- power_now=9120000"},
         "\u2014 | " + nr + " | 75.00% of Original | " + nr + noFacts + "80.00% Charged"},
        {"the average current beside the present one",
         {kCharge + " current_now=1500000 current_avg=900000"},
         "1500 | 1500 mAh"},
        {"discharging on mains: an adapter too weak for the load",
         {kCharge + " current_now=1500000"},
         "1500 | 1500 mAh",
         true},
        {"signed current, unknown state, on mains",
         {kCharge + " status=Unknown current_now=-1500000"},
         "1500 | 1500 mAh",
         true},
        // upowerd, too, takes a battery in an unknown state as discharging without external
        // power, as charging with it.
        {"unsigned current, unknown state",
         {kCharge + " status=Unknown current_now=1500000"},
         "1500 | 1500 mAh"},
        {"unsigned current, unknown state, on mains",
         {kCharge + " status=Unknown current_now=1500000"},
         "-1500 | -1500 mAh",
         true},
        {"ACPI battery: no temperature, date or cycle count",
         {kCharge + " charge_now=5250000 current_now=1500000 cycle_count=0"},
         "1500 | 1500 mAh (milliampere-hour) | 10500 mAh (95.45% of Original) | 11000 mAh" +
             noFacts + "5250 (50.00% Charged)"},
        {"battery that reports everything",
         {kLaptop},
         "1234 | 1234 mAh (milliampere-hour) | 4000 mAh (80.00% of Original) | 5000 mAh | 321 | "
         "07/11/2012 | 30.10\u00B0C  (86.18 \u00B0F) | 3000 (75.00% Charged)"},
    };
    for (const Case& c : cases) {
        const std::string text = shown(c.batteries, c.online);
        EXPECT_NE(text.find(c.expected), std::string::npos)
            << c.situation << "\n  shown:    " << text << "\n  expected: " << c.expected;
        for (const char* made_up : {"nan", "inf", "-0.", "1980", "NO TAB"}) {
            EXPECT_EQ(text.find(made_up), std::string::npos) << c.situation << ": " << made_up;
        }
    }
}

// Each "Key=value" of expected as the dictionary has it, "none" when the key is left out.
std::string mapped(const std::vector<std::string>& batteries, const std::string& expected,
                   bool online = false) {
    const PropertyDictionary dictionary = properties(batteries, online);
    std::istringstream pairs(expected);
    std::string shown;
    for (std::string pair; pairs >> pair;) {
        const std::string key = pair.substr(0, pair.find('='));
        const PropertyValue* value = dictionary.lookup(key);
        shown += (shown.empty() ? "" : " ") + key + "=";
        if (value == nullptr) {
            shown += "none";
        } else if (const bool* flag = std::get_if<bool>(value)) {
            shown += *flag ? "true" : "false";
        } else if (const auto* text = std::get_if<std::string>(value)) {
            shown += *text;
        } else {
            shown += std::to_string(std::get<std::int64_t>(*value));
        }
    }
    return shown;
}

TEST(LinuxBatteryReading, FiguresKeepTheirUnitsUpToTheLimitsOf32Bits) {
    struct Case {
        std::string expected;
        std::vector<std::string> batteries;
        bool online = false;
    };
    const Case cases[] = {
        {"Amperage=-1234 InstantAmperage=-1234 CurrentCapacity=3000 MaxCapacity=4000 "
         "DesignCapacity=5000 CycleCount=321 Temperature=3010 ManufactureDate=16743 "
         "TimeRemaining=90 IsCharging=false BatteryInstalled=true ExternalConnected=false "
         "ExternalChargeCapable=false BatterySerialNumber=AMP-0042 ChargeLevel=7500 "
         "HealthLevel=8000",
         {kLaptop + " serial_number=\\ \\ AMP-0042\\ \t"}},
        // While charging, the time remaining is the time to full.
        {"Amperage=850 IsCharging=true ExternalConnected=true ExternalChargeCapable=true "
         "TimeRemaining=1",
         {kLaptop + " status=Charging current_now=850000"},
         true},
        // A pair has no one serial number, installed state or time estimate; the older pack
        // gives the date, the more worn one the cycles, the hotter one the temperature; one
        // pack's unknown current leaves the sum unknown.
        {"Amperage=none TimeRemaining=none BatterySerialNumber=none BatteryInstalled=true "
         "ManufactureDate=16231 CycleCount=321 Temperature=3500 IsCharging=false",
         {kLaptop + " temp=350", kLaptop + " manufacture_year=2011 cycle_count=12 current_now=-"}},
        {"MaxCapacity=2147483647",
         {kEnergy + " voltage_min_design=1000000 energy_full=2147483647000"}},
        // The largest energy that can be scaled without overflowing 64 bits.
        {"CurrentCapacity=1844674407 MaxCapacity=1844674407",
         {kEnergy + " energy_now=18446744073709551 energy_full=18446744073709551 "
                    "voltage_min_design=10000000000"}},
        // Sums that don't fit 32 bits are not made up.
        {"MaxCapacity=none CurrentCapacity=6000",
         {kLaptop + " charge_full=2147483647999", kLaptop}},
        // Negative where that means nothing.
        {"TimeRemaining=1 BatterySerialNumber=none BatteryInstalled=false",
         {kLaptop + " charge_now=-1 time_to_empty_now=-1 serial_number= present=0"}},
        // A frozen battery is no garbage, down to the coldest figure that fits.
        {"Temperature=-2147483640", {kLaptop + " temp=-214748364"}},
        // The largest figures that still fit 32 bits.
        {"MaxCapacity=2147483647 CycleCount=2147483647 Temperature=2147483640 "
         "TimeRemaining=2147483647 ChargeLevel=10000",
         {kLaptop + " charge_now=2147483647999 charge_full=2147483647999 "
                    "cycle_count=2147483647 temp=214748364 time_to_empty_now=128849018820"}},
        // Only years the packed date can hold; a field that doesn't fit its bits is dropped.
        {"ManufactureDate=33",
         {kLaptop + " manufacture_year=1980 manufacture_month=1 manufacture_day=1"}},
        {"ManufactureDate=65439",
         {kLaptop + " manufacture_year=2107 manufacture_month=12 manufacture_day=31"}},
        {"ManufactureDate=16384", {kLaptop + " manufacture_month=16 manufacture_day=40"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mapped(c.batteries, c.expected, c.online), c.expected) << c.batteries.size();
    }
}

// Empty, non-numeric or out of range: the key is left out and nothing else is disturbed.
TEST(LinuxBatteryReading, GarbageAttributesLeaveOnlyTheirOwnKeysOut) {
    const std::string leftOut =
        "Amperage=none InstantAmperage=none CurrentCapacity=none MaxCapacity=none "
        "DesignCapacity=none CycleCount=none Temperature=none ManufactureDate=none "
        "TimeRemaining=none BatteryInstalled=none IsCharging=false ChargeLevel=none "
        "HealthLevel=none";
    for (const std::string value :
         {"", "abc", "12abc", "+12", "0x10", "1.5", "99999999999999999999999",
          "9223372036854775807", "-9223372036854775808"}) {
        std::string battery = kLaptop;
        for (const char* name :
             {"current_now", "charge_now", "charge_full", "charge_full_design", "cycle_count",
              "temp", "manufacture_year", "time_to_empty_now", "time_to_full_now", "present"}) {
            battery += " " + std::string(name) + "=" + value;
        }
        EXPECT_EQ(mapped({battery}, leftOut), leftOut) << '"' << value << '"';
    }
}

}  // namespace
}  // namespace ampora
