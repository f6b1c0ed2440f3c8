#include "battery/battery_report.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#if __has_include(<xlocale.h>)
#include <xlocale.h>  // where Apple's C library declares newlocale and uselocale
#endif

namespace ampora {

namespace {

// value's decimal digits, written backwards so that they end at end (20 bytes hold any value);
// returns where they begin. By hand, as Apple's C++ library has integer to_chars only from
// macOS 10.15 on and we support 10.13.
char* decimalDigits(std::uint64_t value, char* end) {
    do {
        *--end = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return end;
}

// A line's text is built on the stack and copied out once. The longest line (a temperature of
// INT32_MIN) needs well under 64 bytes.
class LineBuilder {
  public:
    LineBuilder& text(std::string_view piece) {
        const std::size_t n = std::min(piece.size(), kCapacity - size_);
        std::memcpy(data_ + size_, piece.data(), n);
        size_ += n;
        return *this;
    }

    // "%d"
    LineBuilder& integer(std::int64_t value) {
        // Negated in unsigned arithmetic, which has no overflow even for INT64_MIN.
        const auto bits = static_cast<std::uint64_t>(value);
        char digits[20];
        char* const end = digits + sizeof digits;
        const char* begin = decimalDigits(value < 0 ? 0 - bits : bits, end);
        if (value < 0) text("-");
        return text({begin, end});
    }

    // "%.2d": at least two digits; only used for fields of 0..31.
    LineBuilder& twoDigits(std::int32_t value) {
        if (value >= 0 && value < 10) text("0");
        return integer(value);
    }

    // "%.2f", except that a NaN prints as "nan" whatever its sign bit (0/0 sets it on x86). Call
    // only inside a CNumbers scope.
    LineBuilder& fixed2(double value) {
        if (std::isnan(value)) return text("nan");
        const int n = std::snprintf(data_ + size_, kCapacity - size_, "%.2f", value);
        if (n > 0 && static_cast<std::size_t>(n) < kCapacity - size_)
            size_ += static_cast<std::size_t>(n);
        return *this;
    }

    std::string_view view() const { return {data_, size_}; }
    std::string str() const { return std::string(data_, size_); }

  private:
    static constexpr std::size_t kCapacity = 96;

    char data_[kCapacity];
    std::size_t size_ = 0;
};

// The C library's number conversions with the "C" locale's decimal point, whatever locale the
// user (or a library) has set, for this thread and for the scope's extent. Floating-point
// to_chars/from_chars would need no locale, but Apple's C++ library lacks them on the systems we
// support.
class CNumbers {
  public:
    CNumbers() : previous_(cLocale() ? uselocale(cLocale()) : locale_t{}) {}
    ~CNumbers() {
        if (previous_) uselocale(previous_);
    }
    CNumbers(const CNumbers&) = delete;
    CNumbers& operator=(const CNumbers&) = delete;

  private:
    // Made once and kept: creating the "C" locale fails only when memory runs out.
    static locale_t cLocale() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
        return c;
    }

    locale_t previous_;
};

// Single precision on purpose: the printed digits are those of the float quotient, not of the
// exact ratio.
double percentOf(std::int32_t part, std::int32_t whole) {
    const float ratio = static_cast<float>(part) / static_cast<float>(whole);
    const float percent = ratio * 100.0f;
    return static_cast<double>(percent);
}

// Hundredths of a degree as a decimal text with a point before the last two digits. Magnitudes
// under 10 get a leading zero (".05", "-.05", ".00") so that they read like their neighbours.
LineBuilder celsiusText(std::int32_t temperature) {
    const std::int64_t wide = temperature;  // |INT32_MIN| needs 64 bits
    const auto magnitude = static_cast<std::uint64_t>(wide < 0 ? -wide : wide);

    char digits[20];
    char* const end = digits + sizeof digits;
    char* begin = decimalDigits(magnitude, end);
    if (end - begin < 2) *--begin = '0';
    const char* point = end - 2;

    LineBuilder out;
    if (wide < 0) out.text("-");
    return out.text({begin, point}).text(".").text({point, end});
}

// Call only inside a CNumbers scope. The text is always a short decimal number of our own
// making; anything else reads as 0.
float parseFloat(std::string_view text) {
    char terminated[32] = {};
    text.copy(terminated, sizeof terminated - 1);
    return std::strtof(terminated, nullptr);
}

double fahrenheit(float celsius) {
    // Two statements, so that no compiler fuses them into one rounding.
    double scaled = static_cast<double>(celsius) * 1.8;
    scaled += 32.0;
    return scaled;
}

// What a value line says for a figure the power source didn't report (Linux drivers leave out
// what the hardware doesn't measure), instead of a made-up 0 or date.
constexpr std::string_view kNotReported = "Not reported";
// The title when the current isn't reported: short enough for any tray.
constexpr std::string_view kNoCurrentTitle = "\u2014";

// A value line: the tab that indents it, then the figure's text.
LineBuilder value() {
    return LineBuilder().text("\t");
}

// The value line, or kNotReported when the figure added nothing after the tab.
std::string finished(LineBuilder& line) {
    if (line.view() == "\t") line.text(kNotReported);
    return line.str();
}

// part / whole in percent, capped at 100: gauges drift above full, and new batteries often hold a
// little more than their design. Nothing when either is unreported, the whole isn't positive or
// the part is negative: there is no share to show, and inf, nan or a negative one would be made
// up.
std::optional<double> shareOf(bool hasPart, std::int32_t part, bool hasWhole, std::int32_t whole) {
    if (!hasPart || !hasWhole || whole <= 0 || part < 0) return std::nullopt;
    return std::min(percentOf(part, whole), 100.0);
}

// A level the source reports itself (it knows it exactly), else the share of the two figures.
std::optional<double> levelOr(bool hasLevel, std::int32_t level, std::optional<double> share) {
    if (!hasLevel || level < 0) return share;
    return std::min(level, 10000) / 100.0;
}

}  // namespace

BatteryReport makeBatteryReport(const IOPMBattery& record) {
    const CNumbers cNumbers;
    const std::int64_t drawn = -static_cast<std::int64_t>(record.amperage);
    const std::int32_t date = record.manufactureDate;
    const std::int32_t day = date & 31;
    const std::int32_t month = (date >> 5) & 15;
    const std::int32_t year = ((date >> 9) & 127) + 1980;

    const auto health = levelOr(record.hasHealthLevel, record.healthLevel,
                                shareOf(record.hasMaxCapacity, record.maxCapacity,
                                        record.hasDesignCapacity, record.designCapacity));
    const auto charged = levelOr(record.hasChargeLevel, record.chargeLevel,
                                 shareOf(record.hasCurrentCapacity, record.currentCapacity,
                                         record.hasMaxCapacity, record.maxCapacity));

    BatteryReport report;
    report.title =
        record.hasAmperage ? LineBuilder().integer(drawn).str() : std::string(kNoCurrentTitle);

    LineBuilder usage = value();
    if (record.hasAmperage) usage.integer(drawn).text(" mAh (milliampere-hour)");

    LineBuilder capacity = value();
    if (record.hasMaxCapacity) {
        capacity.integer(record.maxCapacity).text(" mAh");
        if (health) capacity.text(" (").fixed2(*health).text("% of Original)");
    } else if (health) {
        capacity.fixed2(*health).text("% of Original");
    }

    LineBuilder original = value();
    if (record.hasDesignCapacity && record.designCapacity > 0) {
        original.integer(record.designCapacity).text(" mAh");
    }

    LineBuilder cycles = value();
    if (record.hasCycleCount) cycles.integer(record.cycleCount);

    LineBuilder made = value();
    if (record.hasManufactureDate) {
        made.twoDigits(day).text("/").twoDigits(month).text("/").integer(year);
    }

    LineBuilder temperature = value();
    if (record.hasTemperature) {
        const LineBuilder celsius = celsiusText(record.temperature);
        temperature.text(celsius.view())
            .text("\u00B0C  (")
            .fixed2(fahrenheit(parseFloat(celsius.view())))
            .text(" \u00B0F)");
    }

    LineBuilder charge = value();
    if (record.hasCurrentCapacity) {
        charge.integer(record.currentCapacity);
        if (charged) charge.text(" (").fixed2(*charged).text("% Charged)");
    } else if (charged) {
        charge.fixed2(*charged).text("% Charged");
    }

    report.pairs = {{
        {"Current Usage:", finished(usage)},
        {"Current Capacity:", finished(capacity)},
        {"Original Capacity:", finished(original)},
        {"Number of Charge Cycles:", finished(cycles)},
        {"Manufacture Date:", finished(made)},
        {"Temperature:", finished(temperature)},
        {"Current Charge:", finished(charge)},
    }};
    return report;
}

}  // namespace ampora
