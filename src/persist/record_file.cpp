#include "persist/record_file.h"

#include "persist/file_access.h"

#include <cmath>
#include <limits>

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

// A plain decimal number ("60", "-5", "+7", "2.5", "1e3"); nullopt otherwise.
// QByteArray::toDouble also takes "inf" and "nan"; those are not numbers here.
std::optional<double> decimalValue(QByteArrayView text)
{
    bool ok = false;
    const double value = text.toByteArray().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
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
