// Whole files as tests write and check them.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QTest>

namespace tarn::test {

// Writes `bytes` in place (truncating, as a shell's `>` does).
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace tarn::test
