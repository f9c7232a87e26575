#include "persist/record_file.h"

#include "persist/file_access.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tarn {

namespace {

// A state file is one short line; a longer file is not one of them.
constexpr qint64 kMaxLineBytes = 4096;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Rounds half to even and checks the 16-bit range.
std::optional<std::int16_t> roundToInt16(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // default mode: half to even
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

bool isDecimalChar(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
}

// For a decimal number beyond a double's range: whether it is too large,
// rather than too close to 0, from the place of its first significant digit
// and its exponent.
bool beyondLargest(QByteArrayView number)
{
    qsizetype e = number.indexOf('e');
    if (e < 0)
        e = number.indexOf('E');
    if (e < 0)
        e = number.size();
    const QByteArrayView mantissa = number.first(e);
    const qsizetype point = mantissa.contains('.') ? mantissa.indexOf('.') : mantissa.size();
    qsizetype first = 0;
    while (first < mantissa.size() && (mantissa[first] < '1' || mantissa[first] > '9'))
        ++first;
    // The first significant digit stands for 10 to the power `place`.
    const qint64 place = first < point ? point - first - 1 : point - first;
    const QByteArrayView exponentText = number.sliced(std::min(e + 1, number.size()));
    qint64 exponent = 0;
    for (char c : exponentText)
        if (c >= '0' && c <= '9')
            exponent = std::min<qint64>(exponent * 10 + (c - '0'), 1'000'000'000);
    if (exponentText.startsWith('-'))
        exponent = -exponent;
    return place + exponent > 0;
}

// A plain decimal number ("60", "-5", "+7", "2.5", "1e3"); nullopt otherwise.
// A number beyond a double's range is an infinity or 0. QByteArray::toDouble
// also takes "inf", "nan" and white space around a number (a vertical tab, a
// form feed), none of which is a number here, and refuses a number beyond a
// double's range, which is one all the same.
std::optional<double> decimalValue(QByteArrayView text)
{
    if (!std::all_of(text.begin(), text.end(), isDecimalChar))
        return std::nullopt;
    bool ok = false;
    const double value = text.toByteArray().toDouble(&ok);
    if (ok)
        return value;
    // std::from_chars tells a number beyond the range from text that is no
    // number; it takes no '+'.
    QByteArrayView digits = text;
    if (digits.startsWith('+')) {
        digits = digits.sliced(1);
        if (digits.startsWith('+') || digits.startsWith('-'))
            return std::nullopt;
    }
    double ignored = 0;
    const auto [end, error] = std::from_chars(digits.begin(), digits.end(), ignored);
    if (error != std::errc::result_out_of_range || end != digits.end())
        return std::nullopt;
    return beyondLargest(digits) ? HUGE_VAL : 0.0;
}

bool writeLine(const QString &folder, const QString &name, const QByteArray &line, QString *error)
{
    const QString reason = replaceFileInFolder(folder, name, line, kMaxLineBytes);
    if (!reason.isEmpty() && error)
        *error = reason;
    return reason.isEmpty();
}

} // namespace

QByteArray numberLine(std::int16_t value)
{
    QByteArray line = value < 0 ? QByteArrayLiteral("-") : QByteArrayLiteral(" ");
    line += QByteArray::number(std::abs(static_cast<int>(value)));
    line += " \r\n";
    return line;
}

QByteArray textLine(QByteArrayView text)
{
    Q_ASSERT(!text.contains('\r') && !text.contains('\n'));
    return text.toByteArray() + "\r\n";
}

std::optional<std::int16_t> firstNumber(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size() && isBlank(bytes[i]))
        ++i;
    if (i == bytes.size() || isLineEnd(bytes[i]))
        return std::nullopt; // nothing to read
    const qsizetype start = i;
    while (i < bytes.size() && !isBlank(bytes[i]) && !isLineEnd(bytes[i]) && bytes[i] != ',')
        ++i;
    const std::optional<double> value = decimalValue(bytes.sliced(start, i - start));
    if (!value)
        return std::int16_t{0};
    return roundToInt16(*value);
}

std::optional<std::int16_t> toInt16(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    // Anything beyond Latin-1 cannot be part of a number.
    for (QChar c : trimmed)
        if (c.unicode() > 0x7f)
            return std::nullopt;
    const std::optional<double> value = decimalValue(trimmed.toLatin1());
    return value ? roundToInt16(*value) : std::nullopt;
}

bool writeNumberLine(const QString &folder, const QString &name, std::int16_t value, QString *error)
{
    return writeLine(folder, name, numberLine(value), error);
}

bool writeTextLine(const QString &folder, const QString &name, QByteArrayView text, QString *error)
{
    return writeLine(folder, name, textLine(text), error);
}

SmallFileRead readStateFile(const QString &folder, const QString &name)
{
    return readFileInFolder(folder, name, kMaxLineBytes);
}

std::optional<std::int16_t> readFirstNumber(const QString &folder, const QString &name)
{
    const SmallFileRead read = readStateFile(folder, name);
    if (read.status != SmallFileRead::Status::Read)
        return std::nullopt;
    return firstNumber(read.bytes);
}

} // namespace tarn
