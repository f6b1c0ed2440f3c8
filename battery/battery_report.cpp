#include "battery/battery_report.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

}  // namespace

BatteryReport makeBatteryReport(const IOPMBattery& record) {
    const CNumbers cNumbers;
    const std::int64_t drawn = -static_cast<std::int64_t>(record.amperage);
    const std::int32_t date = record.manufactureDate;
    const std::int32_t day = date & 31;
    const std::int32_t month = (date >> 5) & 15;
    const std::int32_t year = ((date >> 9) & 127) + 1980;

    const LineBuilder celsius = celsiusText(record.temperature);

    BatteryReport report;
    report.title = LineBuilder().integer(drawn).str();
    report.pairs = {{
        {"Current Usage:",
         LineBuilder().text("\t").integer(drawn).text(" mAh (milliampere-hour)").str()},
        {"Current Capacity:", LineBuilder()
                                  .text("\t")
                                  .integer(record.maxCapacity)
                                  .text(" mAh (")
                                  .fixed2(percentOf(record.maxCapacity, record.designCapacity))
                                  .text("% of Original)")
                                  .str()},
        {"Original Capacity:",
         LineBuilder().text("\t").integer(record.designCapacity).text(" mAh").str()},
        {"Number of Charge Cycles:", LineBuilder().text("\t").integer(record.cycleCount).str()},
        {"Manufacture Date:", LineBuilder()
                                  .text("\t")
                                  .twoDigits(day)
                                  .text("/")
                                  .twoDigits(month)
                                  .text("/")
                                  .integer(year)
                                  .str()},
        {"Temperature:", LineBuilder()
                             .text("\t")
                             .text(celsius.view())
                             .text("\u00B0C  (")
                             .fixed2(fahrenheit(parseFloat(celsius.view())))
                             .text(" \u00B0F)")
                             .str()},
        {"Current Charge:", LineBuilder()
                                .text("\t")
                                .integer(record.currentCapacity)
                                .text(" (")
                                .fixed2(percentOf(record.currentCapacity, record.maxCapacity))
                                .text("% Charged)")
                                .str()},
    }};
    return report;
}

}  // namespace ampora
