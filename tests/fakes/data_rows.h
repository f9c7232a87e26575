// One QTest data row on one line: row("name", a, b, c) adds the row "name"
// with the values a, b and c, in the order of the columns.
#pragma once

#include <QTest>

namespace tarn::test {

template <typename... Values> void row(const char *name, const Values &...values)
{
    (QTest::newRow(name) << ... << values);
}

} // namespace tarn::test
