#include "platform/linux/power/sysfs_properties.h"

#include <array>
#include <charconv>
#include <limits>
#include <system_error>
#include <utility>

namespace ampora {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

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

    std::optional<std::int64_t> nonNegative(std::string_view name) const {
        const auto value = integer(name);
        if (!value || *value < 0) return std::nullopt;
        return value;
    }

    // Sizes like currents and powers whose sign drivers don't agree on.
    std::optional<std::uint64_t> magnitude(std::string_view name) const {
        const auto value = integer(name);
        if (!value) return std::nullopt;
        // Through unsigned arithmetic, so that the most negative value has a magnitude too.
        const auto bits = static_cast<std::uint64_t>(*value);
        return *value < 0 ? 0 - bits : bits;
    }

    std::optional<std::int64_t> positive(std::string_view name) const {
        const auto value = integer(name);
        if (!value || *value <= 0) return std::nullopt;
        return value;
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

class SysfsMapping {
  public:
    SysfsMapping(const SysfsAttributeLookup& lookup, PropertyDictionary& out)
        : attributes_(lookup), out_(out) {
        const auto status = attributes_.text("status");
        discharging_ = status == "Discharging";
        charging_ = status == "Charging";
        if (status) out_.set("IsCharging", charging_);
    }

    void currents() {
        const auto now = attributes_.magnitude("current_now");
        setCurrent("InstantAmperage", now ? microToMilli(*now) : std::nullopt);

        std::optional<std::int64_t> average;
        if (const auto avg = attributes_.magnitude("current_avg")) average = microToMilli(*avg);
        if (!average && now) average = microToMilli(*now);
        if (!average) average = currentFromPower();
        setCurrent("Amperage", average);
    }

    void capacities() {
        capacity("CurrentCapacity", "charge_now", "energy_now");
        capacity("MaxCapacity", "charge_full", "energy_full");
        capacity("DesignCapacity", "charge_full_design", "energy_full_design");
    }

    void counters() {
        if (const auto cycles = attributes_.nonNegative("cycle_count")) {
            setInteger("CycleCount", fitsInt32(*cycles));
        }
        // Tenths of a degree -> hundredths.
        if (const auto temp = attributes_.integer("temp")) {
            if (*temp >= kInt32Min / 10 && *temp <= kInt32Max / 10) {
                setInteger("Temperature", *temp * 10);
            }
        }
        timeRemaining();
    }

    void manufactureDate() {
        const auto year = attributes_.integer("manufacture_year");
        if (!year || *year < 1980 || *year > 1980 + 127) return;
        const std::int64_t month = fieldOrZero("manufacture_month", 15);
        const std::int64_t day = fieldOrZero("manufacture_day", 31);
        out_.set("ManufactureDate", ((*year - 1980) << 9) | (month << 5) | day);
    }

    void presence() {
        const auto present = attributes_.integer("present");
        if (present == 0 || present == 1) out_.set("BatteryInstalled", present == 1);
        if (const auto serial = attributes_.text("serial_number")) {
            const auto trimmed = trim(*serial);
            if (!trimmed.empty()) out_.set("BatterySerialNumber", std::string(trimmed));
        }
    }

  private:
    // Batteries that report power instead of current.
    std::optional<std::int64_t> currentFromPower() const {
        const auto power = attributes_.magnitude("power_now");
        const auto volts = attributes_.positive("voltage_now");
        if (!power || !volts) return std::nullopt;
        return scaledRatio(*power, static_cast<std::uint64_t>(*volts));
    }

    void setCurrent(const char* key, std::optional<std::int64_t> milliamps) {
        if (milliamps) out_.set(key, discharging_ ? -*milliamps : *milliamps);
    }

    void setInteger(const char* key, std::optional<std::int64_t> value) {
        if (value) out_.set(key, *value);
    }

    // Charge in uAh, or, for batteries that report energy only, uWh over the design voltage.
    void capacity(const char* key, std::string_view charge, std::string_view energy) {
        if (const auto microAmpHours = attributes_.nonNegative(charge)) {
            setInteger(key, microToMilli(static_cast<std::uint64_t>(*microAmpHours)));
            return;
        }
        const auto microWattHours = attributes_.nonNegative(energy);
        if (!microWattHours) return;
        // The design voltage: voltage_now drifts with the charge.
        auto volts = attributes_.positive("voltage_min_design");
        if (!volts) volts = attributes_.positive("voltage_now");
        if (!volts) return;
        setInteger(key, scaledRatio(static_cast<std::uint64_t>(*microWattHours),
                                    static_cast<std::uint64_t>(*volts)));
    }

    // Seconds -> minutes, the estimate in the direction the battery is going first.
    void timeRemaining() {
        std::array<std::string_view, 2> order{"time_to_empty_now", "time_to_full_now"};
        if (charging_) std::swap(order[0], order[1]);
        for (const auto name : order) {
            if (const auto seconds = attributes_.nonNegative(name)) {
                setInteger("TimeRemaining", fitsInt32(*seconds / 60));
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
    PropertyDictionary& out_;
    bool discharging_ = false;
    bool charging_ = false;
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

PropertyDictionary batteryPropertiesFromSysfs(const SysfsAttributeLookup& attribute,
                                              bool externalPowerOnline) {
    PropertyDictionary properties;
    SysfsMapping mapping(attribute, properties);
    mapping.currents();
    mapping.capacities();
    mapping.counters();
    mapping.manufactureDate();
    mapping.presence();
    properties.set("ExternalConnected", externalPowerOnline);
    properties.set("ExternalChargeCapable", externalPowerOnline);
    return properties;
}

}  // namespace ampora
