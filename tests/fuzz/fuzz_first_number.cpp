// libFuzzer target for the first-number rule by which every state file (the
// volume, Repeat, the mini player's opacity, the flag files) is read. Any
// bytes must read as the rule's own second implementation (the oracle)
// reads them, a number line and a text line written by the player read back
// as what was written, and the numeric text of an item reads as the same
// number through toInt16().
#include "first_number_oracle.h"
#include "persist/record_file.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<std::int16_t> number = tarn::fuzz::firstNumberOracle(bytes);
    check(tarn::firstNumber(bytes) == number);

    // A number line written by the player reads back exactly, negative ones too.
    if (number) {
        check(tarn::firstNumber(tarn::numberLine(*number)) == number);
        const std::int16_t negated = *number == INT16_MIN ? INT16_MAX : std::int16_t(-*number);
        check(tarn::firstNumber(tarn::numberLine(negated)) == negated);
    }
    // A text line holds the first line as it was; its first number is the same.
    qsizetype lineEnd = 0;
    while (lineEnd < bytes.size() && !isLineEnd(bytes[lineEnd]))
        ++lineEnd;
    const QByteArray firstLine = bytes.first(lineEnd);
    check(tarn::firstNumber(tarn::textLine(firstLine)) == number);

    // The item the rule read, given as text, reads as the same number.
    qsizetype start = 0;
    while (start < firstLine.size() && (firstLine[start] == ' ' || firstLine[start] == '\t'))
        ++start;
    qsizetype end = start;
    while (end < firstLine.size() && firstLine[end] != ' ' && firstLine[end] != '\t' &&
           firstLine[end] != ',')
        ++end;
    const QByteArray item = firstLine.sliced(start, end - start);
    // toInt16() reads text: it also trims other white space (a no-break space
    // among them), which a state file's item cannot hold. Compare plain ASCII.
    const bool plain = std::all_of(item.begin(), item.end(), [](char c) {
        return c > ' ' && static_cast<unsigned char>(c) < 0x7f;
    });
    const std::optional<std::int16_t> asText = tarn::toInt16(QString::fromLatin1(item));
    if (asText && number && plain)
        check(*asText == *number);
    return 0;
}
