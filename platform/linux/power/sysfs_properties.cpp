#include "platform/linux/power/sysfs_properties.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <system_error>
#include <utility>

namespace ampora {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
// A percentage in hundredths.
constexpr std::int64_t kWhole = 10000;

std::optional<std::int64_t> fitsInt32(std::int64_t value) {
    if (value < kInt32Min || value > kInt32Max) return std::nullopt;
    return value;
}

class BatteryAttributes {
  public:
    explicit BatteryAttributes(const SysfsAttributeLookup& lookup) : lookup_(lookup) {}

    std::optional<std::string> text(std::string_view name) const { return lookup_(name); }

    std::optional<std::int64_t> integer(std::string_view name) const {
        const auto value = lookup_(name);
        if (!value) return std::nullopt;
        return parseSysfsInteger(*value);
    }

    std::optional<std::uint64_t> nonNegative(std::string_view name) const {
        const auto value = integer(name);
        if (!value || *value < 0) return std::nullopt;
        return static_cast<std::uint64_t>(*value);
    }

    std::optional<std::uint64_t> positive(std::string_view name) const {
        const auto value = integer(name);
        if (!value || *value <= 0) return std::nullopt;
        return static_cast<std::uint64_t>(*value);
    }

  private:
    const SysfsAttributeLookup& lookup_;
};

// micro-units -> milli-units, truncated toward zero.
std::optional<std::int64_t> microToMilli(std::uint64_t micro) {
    const std::uint64_t milli = micro / 1000;
    if (milli > static_cast<std::uint64_t>(kInt32Max)) return std::nullopt;
    return static_cast<std::int64_t>(milli);
}

// (numerator x 1000) / divisor without overflow; nothing when the result doesn't fit 32 bits.
std::optional<std::int64_t> scaledRatio(std::uint64_t numerator, std::uint64_t divisor) {
    if (divisor == 0) return std::nullopt;
    if (numerator > std::numeric_limits<std::uint64_t>::max() / 1000) return std::nullopt;
    const std::uint64_t result = numerator * 1000 / divisor;
    if (result > static_cast<std::uint64_t>(kInt32Max)) return std::nullopt;
    return static_cast<std::int64_t>(result);
}

// part / whole in hundredths of a percent, rounded to the nearest, at most all of it; only of
// figures whose milli-units fit 32 bits, as no other figure is believed.
std::optional<std::int64_t> share(std::optional<std::uint64_t> part,
                                  std::optional<std::uint64_t> whole) {
    constexpr std::uint64_t kLargest = static_cast<std::uint64_t>(kInt32Max) * 1000 + 999;
    if (!part || !whole || *whole == 0 || *part > kLargest || *whole > kLargest) {
        return std::nullopt;
    }
    if (*part >= *whole) return kWhole;
    return static_cast<std::int64_t>((*part * 2 * kWhole + *whole) / (2 * *whole));
}

class SysfsMapping {
  public:
    SysfsMapping(const SysfsAttributeLookup& lookup, BatteryFigures& out)
        : attributes_(lookup), out_(out) {
        status_ = attributes_.text("status");
        out_.charging = status_ == "Charging";
        // The design voltage converts energies: the present one drifts with the charge.
        volts_ = attributes_.positive("voltage_min_design");
        if (!volts_) volts_ = attributes_.positive("voltage_max_design");
        if (!volts_) volts_ = attributes_.positive("voltage_now");
    }

    void capacities() {
        out_.charge = capacity("charge_now", "energy_now", false);
        out_.fullCharge = capacity("charge_full", "energy_full", true);
        out_.designCharge = capacity("charge_full_design", "energy_full_design", true);

        // The gauge's own percentage; some report a little over 100 when full.
        std::optional<std::int64_t> gaugeLevel;
        if (const auto percent = attributes_.nonNegative("capacity")) {
            gaugeLevel = static_cast<std::int64_t>(std::min<std::uint64_t>(*percent, 100)) * 100;
        }
        // A fuel gauge that counts in percent only: that share of full, as the system's own
        // indicator takes it.
        if (!out_.charge && out_.fullCharge && gaugeLevel) {
            out_.charge = *out_.fullCharge * *gaugeLevel / kWhole;
        }
        // Gauges drift above full near the top.
        if (out_.charge && out_.fullCharge) out_.charge = std::min(*out_.charge, *out_.fullCharge);

        const auto mah = [](std::optional<std::int64_t> value) {
            return value ? std::optional(static_cast<std::uint64_t>(*value)) : std::nullopt;
        };
        out_.chargeLevel =
            share(attributes_.nonNegative("charge_now"), attributes_.positive("charge_full"));
        if (!out_.chargeLevel) {
            out_.chargeLevel =
                share(attributes_.nonNegative("energy_now"), attributes_.positive("energy_full"));
        }
        if (!out_.chargeLevel) out_.chargeLevel = gaugeLevel;
        if (!out_.chargeLevel) out_.chargeLevel = share(mah(out_.charge), mah(out_.fullCharge));

        out_.healthLevel =
            share(attributes_.positive("charge_full"), attributes_.positive("charge_full_design"));
        if (!out_.healthLevel) {
            out_.healthLevel = share(attributes_.positive("energy_full"),
                                     attributes_.positive("energy_full_design"));
        }
        if (!out_.healthLevel) {
            out_.healthLevel = share(mah(out_.fullCharge), mah(out_.designCharge));
        }
    }

    void current() {
        const auto power = attributes_.integer("power_now");
        const auto current = attributes_.integer("current_now");
        const bool countsEnergy =
            !attributes_.integer("charge_now") && attributes_.integer("energy_now");
        const bool fromPower = power && (countsEnergy || !current);
        const auto raw = fromPower ? power : current;
        if (!raw) return;

        // Through unsigned arithmetic, so that the most negative value has a magnitude too.
        const auto bits = static_cast<std::uint64_t>(*raw);
        const std::uint64_t magnitude = *raw < 0 ? 0 - bits : bits;
        std::optional<std::int64_t> milliamps;
        if (fromPower) {
            auto volts = attributes_.positive("voltage_now");
            if (!volts) volts = volts_;
            if (volts) milliamps = scaledRatio(magnitude, *volts);
        } else {
            milliamps = microToMilli(magnitude);
        }
        if (!milliamps) return;
        // The status tells the direction; without one, a driver's own sign is all there is.
        const bool discharging = status_ == "Discharging" || (status_ != "Charging" && *raw < 0);
        out_.currentUndirected = !discharging && status_ != "Charging";
        out_.current = discharging ? -*milliamps : *milliamps;
    }

    void counters() {
        if (const auto cycles = attributes_.positive("cycle_count")) {
            out_.cycleCount = fitsInt32(static_cast<std::int64_t>(*cycles));
        }
        // Tenths of a degree -> hundredths.
        if (const auto temp = attributes_.integer("temp")) {
            if (*temp >= kInt32Min / 10 && *temp <= kInt32Max / 10) out_.temperature = *temp * 10;
        }
        timeRemaining();
    }

    void manufactureDate() {
        const auto year = attributes_.integer("manufacture_year");
        if (!year || *year < 1980 || *year > 1980 + 127) return;
        const std::int64_t month = fieldOrZero("manufacture_month", 15);
        const std::int64_t day = fieldOrZero("manufacture_day", 31);
        out_.manufactureDate = ((*year - 1980) << 9) | (month << 5) | day;
    }

    void presence() {
        const auto present = attributes_.integer("present");
        if (present == 0 || present == 1) out_.installed = present == 1;
        if (const auto serial = attributes_.text("serial_number")) {
            const auto trimmed = trim(*serial);
            if (!trimmed.empty()) out_.serialNumber = std::string(trimmed);
        }
    }

  private:
    // Charge in uAh, else energy in uWh over the design voltage; in mAh.
    std::optional<std::int64_t> capacity(std::string_view charge, std::string_view energy,
                                         bool mustBePositive) const {
        const auto valid = [mustBePositive](std::optional<std::uint64_t> value) {
            return value && (!mustBePositive || *value > 0);
        };
        if (const auto microAmpHours = attributes_.nonNegative(charge); valid(microAmpHours)) {
            return microToMilli(*microAmpHours);
        }
        const auto microWattHours = attributes_.nonNegative(energy);
        if (!valid(microWattHours) || !volts_) return std::nullopt;
        return scaledRatio(*microWattHours, *volts_);
    }

    // Seconds -> minutes, the estimate in the direction the battery is going first.
    void timeRemaining() {
        std::array<std::string_view, 2> order{"time_to_empty_now", "time_to_full_now"};
        if (out_.charging) std::swap(order[0], order[1]);
        for (const auto name : order) {
            if (const auto seconds = attributes_.nonNegative(name)) {
                out_.timeRemaining = fitsInt32(static_cast<std::int64_t>(*seconds / 60));
                return;
            }
        }
    }

    std::int64_t fieldOrZero(std::string_view name, std::int64_t max) const {
        const auto value = attributes_.integer(name);
        return value && *value >= 0 && *value <= max ? *value : 0;
    }

    static std::string_view trim(std::string_view text) {
        constexpr std::string_view blanks = " \t\n\r\v\f";
        const auto first = text.find_first_not_of(blanks);
        if (first == std::string_view::npos) return {};
        const auto last = text.find_last_not_of(blanks);
        return text.substr(first, last - first + 1);
    }

    BatteryAttributes attributes_;
    BatteryFigures& out_;
    std::optional<std::string> status_;
    std::optional<std::uint64_t> volts_;
};

}  // namespace

std::optional<std::int64_t> parseSysfsInteger(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end) return std::nullopt;
    return value;
}

BatteryFigures batteryFiguresFromSysfs(const SysfsAttributeLookup& attribute) {
    BatteryFigures figures;
    SysfsMapping mapping(attribute, figures);
    mapping.capacities();
    mapping.current();
    mapping.counters();
    mapping.manufactureDate();
    mapping.presence();
    return figures;
}

}  // namespace ampora
