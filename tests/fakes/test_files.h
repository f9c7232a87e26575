// Whole files as tests write and check them.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QTest>

#include <filesystem>
#include <system_error>

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

// Removes a folder and all in it when it goes, also names that are not
// UTF-8, which QTemporaryDir cannot reach.
class RemovedAtEnd {
public:
    explicit RemovedAtEnd(const QString &folder) : path_(QFile::encodeName(folder).toStdString()) {}
    RemovedAtEnd(const RemovedAtEnd &) = delete;
    RemovedAtEnd &operator=(const RemovedAtEnd &) = delete;
    ~RemovedAtEnd()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

private:
    std::string path_;
};

} // namespace tarn::test
