// The state files' first-number rule written a second time, from its wording
// alone and sharing no code with the player's reader, so the fuzz targets
// check the reader against what the rule says rather than against itself:
//
//   Skip blanks (space, tab). Nothing before the end of the line (CR, LF) or
//   of the file: no number. Else the item runs to the next blank, comma, CR,
//   LF or the end. An item that is a plain decimal number - an optional
//   sign, digits with at most one point and at least one digit, an optional
//   exponent (e or E, an optional sign, digits) - reads as its value (the
//   nearest double) rounded half to even, and as no number when that is
//   outside -32768..32767, however far. Any
//   other item (a word, "nan", "0x10", a control character) reads as 0.
#pragma once

#include <QByteArrayView>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

namespace tarn::fuzz {

namespace oracle_detail {

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether `item` has the shape of a plain decimal number; `scale` gets the
// power of ten of its first significant digit (a value below 1 when it is
// negative or the number is all zeros), saturated far past a double's range.
inline bool isDecimal(std::string_view item, long &scale)
{
    std::size_t i = 0;
    if (i < item.size() && (item[i] == '+' || item[i] == '-'))
        ++i;
    long integerDigits = 0, leadingFractionZeros = 0;
    bool significant = false, seenDigit = false;
    for (; i < item.size() && isDigit(item[i]); ++i) {
        seenDigit = true;
        significant = significant || item[i] != '0';
        if (significant)
            ++integerDigits;
    }
    if (i < item.size() && item[i] == '.') {
        for (++i; i < item.size() && isDigit(item[i]); ++i) {
            seenDigit = true;
            if (!significant && item[i] == '0')
                ++leadingFractionZeros;
            significant = significant || item[i] != '0';
        }
    }
    if (!seenDigit)
        return false;
    long exponent = 0;
    if (i < item.size() && (item[i] == 'e' || item[i] == 'E')) {
        ++i;
        const bool negative = i < item.size() && item[i] == '-';
        if (i < item.size() && (item[i] == '+' || item[i] == '-'))
            ++i;
        if (i == item.size())
            return false;
        for (; i < item.size() && isDigit(item[i]); ++i)
            exponent = std::min(exponent * 10 + (item[i] - '0'), 1'000'000L);
        if (negative)
            exponent = -exponent;
    }
    if (i != item.size())
        return false;
    scale = !significant
                ? -1'000'000
                : (integerDigits > 0 ? integerDigits - 1 : -1 - leadingFractionZeros) + exponent;
    return true;
}

} // namespace oracle_detail

inline std::optional<std::int16_t> firstNumberOracle(QByteArrayView bytes)
{
    using namespace oracle_detail;
    const std::string_view text(bytes.data(), std::size_t(bytes.size()));
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    if (start == text.size() || text[start] == '\r' || text[start] == '\n')
        return std::nullopt;
    const std::size_t end = text.find_first_of(std::string_view(" \t,\r\n", 5), start);
    const std::string_view item = text.substr(start, end - start);

    long scale = 0;
    if (!isDecimal(item, scale))
        return std::int16_t{0};
    if (scale >= 6) // at least 100000
        return std::nullopt;
    if (scale < -2) // below 0.01: rounds to 0
        return std::int16_t{0};
    // Small enough for a double to hold what matters; from_chars takes no '+'.
    const std::string_view digits = item[0] == '+' ? item.substr(1) : item;
    double value = 0;
    const auto [at, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || at != digits.data() + digits.size())
        return std::int16_t{0}; // cannot happen for a plain decimal number
    const double rounded = std::nearbyint(value);
    if (rounded < -32768 || rounded > 32767)
        return std::nullopt;
    return std::int16_t(rounded);
}

} // namespace tarn::fuzz
