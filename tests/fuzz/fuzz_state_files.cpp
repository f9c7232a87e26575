// libFuzzer target for the readers of the application folder's state files
// and of the settings, through real files in a scratch folder. The first
// byte picks the reader (byte % 3) and, for the state and flag files,
// whether the file sits at its name (byte / 3 even) or behind a symbolic link
// to a file of another folder (odd). The second byte picks the file, the rest
// is the file's content:
//   0  vol.ini, rep.ini or Trans.ini: read whole only up to the size bound,
//      as the first-number rule's own second implementation (the oracle)
//      reads it, and what the player writes back (the value it read, the
//      line it read) reads back as written;
//   1  a flag file (back1.ini, stop1.ini, next2.ini) under the main window's
//      poll: its action runs exactly when the oracle reads the flag as 1,
//      the file is left holding the number line 0, and a second poll does
//      nothing;
//   2  the settings file as someone may have edited it: the three settings
//      read without harm, and saving one as the player does at exit keeps
//      the others and reads back as saved.
// Behind a link, a state or flag file is neither read, acted on, written
// through nor replaced: the link and its target stay as they were.
#include "controls/flag_files.h"
#include "controls/main_window_controls.h"
#include "first_number_oracle.h"
#include "persist/app_folder.h"
#include "persist/qt_settings_store.h"
#include "persist/record_file.h"
#include "scratch_folder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>
#include <utility>

namespace {

using namespace tarn;

constexpr qsizetype kStateFileBound = 4096; // what the readers promise to read at most

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void writeInPlace(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    check(file.write(bytes) == bytes.size());
}

QString folder()
{
    static const QString path = QString::fromStdString(fuzz::scratchFolder().string());
    return path;
}

// Puts `bytes` at `name` in the folder: in a regular file there, or in a
// file of another folder that a symbolic link at `name` points to. Whatever
// the previous input left at the name goes first.
void put(const QString &name, const QByteArray &bytes, bool linked)
{
    static const QString targets = [] {
        QDir(folder()).mkpath(QStringLiteral("targets"));
        return folder() + QStringLiteral("/targets/");
    }();
    const QString path = appFile(folder(), name);
    QFile::remove(path);
    if (!linked) {
        writeInPlace(path, bytes);
        return;
    }
    writeInPlace(targets + name, bytes);
    check(::symlink(QFile::encodeName(targets + name).constData(),
                    QFile::encodeName(path).constData()) == 0);
}

// Whether the link at `name` still points to a target holding `bytes`.
bool linkKept(const QString &name, const QByteArray &bytes)
{
    QFile target(folder() + QStringLiteral("/targets/") + name);
    char pointsTo[4096];
    const ssize_t length = ::readlink(QFile::encodeName(appFile(folder(), name)).constData(),
                                      pointsTo, sizeof pointsTo);
    return length >= 0 && QByteArray(pointsTo, length) == QFile::encodeName(target.fileName()) &&
           target.open(QIODevice::ReadOnly) && target.readAll() == bytes;
}

void stateFile(std::uint8_t pick, const QByteArray &bytes, bool linked)
{
    static const std::array names{QStringLiteral("vol.ini"), QStringLiteral("rep.ini"),
                                  QStringLiteral("Trans.ini")};
    const QString &name = names[pick % names.size()];
    put(name, bytes, linked);

    const SmallFileRead read = readStateFile(folder(), name);
    const std::optional<std::int16_t> number = readFirstNumber(folder(), name);
    if (linked) {
        check(read.status == SmallFileRead::Status::NotAFile && read.bytes.isEmpty() && !number);
        check(!writeNumberLine(folder(), name, 0) && !writeTextLine(folder(), name, "1"));
        check(linkKept(name, bytes));
        return;
    }
    if (bytes.size() > kStateFileBound) {
        check(read.status == SmallFileRead::Status::TooLarge && read.bytes.isEmpty() && !number);
        return;
    }
    check(read.status == SmallFileRead::Status::Read && read.bytes == bytes);
    check(number == fuzz::firstNumberOracle(bytes));

    // The mini player's settings window saves the value it read.
    const std::int16_t value = number.value_or(100);
    check(writeNumberLine(folder(), name, value));
    check(readFirstNumber(folder(), name) == value);

    // A text line keeps the first line as it was (when the line and its CR LF
    // fit in a state file: the player's own text lines are one character).
    qsizetype end = 0;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
        ++end;
    if (end + 2 > kStateFileBound)
        return;
    check(writeTextLine(folder(), name, bytes.first(end)));
    const SmallFileRead again = readStateFile(folder(), name);
    check(again.status == SmallFileRead::Status::Read && again.bytes == bytes.first(end) + "\r\n");
    check(readFirstNumber(folder(), name) == fuzz::firstNumberOracle(bytes.first(end)));
}

class Controls final : public MainWindowControls {
public:
    std::array<int, 3> runs{}; // back, stop, next
    void play() override {}
    void pause() override {}
    void back() override { ++runs[0]; }
    void stop() override { ++runs[1]; }
    void next() override { ++runs[2]; }
    int volumePosition() const override { return 0; }
    void setVolumePosition(int) override {}
    QString currentTrackText() const override { return {}; }
    void openFiles(const QStringList &, bool) override {}
    void showMainWindow() override {}
    void hideMainWindow() override {}
};

void flagFile(std::uint8_t pick, const QByteArray &bytes, bool linked)
{
    const std::array names{kBackFlag, kStopFlag, kNextFlag};
    const std::size_t flag = pick % names.size();
    // The other flags as the poll makes them: an earlier input may have left
    // a link or a large file there, which the poll leaves as it is.
    for (const QString &name : names)
        QFile::remove(appFile(folder(), name));
    put(names[flag], bytes, linked);
    // A file over the bound is not read and left as it is, like a link.
    const bool foreign = linked || bytes.size() > kStateFileBound;
    const bool set = !foreign && fuzz::firstNumberOracle(bytes) == 1;

    Controls main;
    FlagPoll poll;
    poll.tick(folder(), main);
    for (std::size_t i = 0; i < names.size(); ++i)
        check(main.runs[i] == (i == flag && set ? 1 : 0));
    std::array<SmallFileRead, 3> after;
    for (std::size_t i = 0; i < names.size(); ++i) {
        after[i] = readStateFile(folder(), names[i]);
        if (i == flag && linked)
            check(linkKept(names[i], bytes));
        else if (i == flag && foreign)
            check(after[i].status == SmallFileRead::Status::TooLarge);
        else
            check(after[i].status == SmallFileRead::Status::Read &&
                  after[i].bytes == numberLine(0));
    }

    // Nothing new was written: the next poll neither acts nor writes.
    poll.tick(folder(), main);
    for (std::size_t i = 0; i < names.size(); ++i) {
        check(main.runs[i] == (i == flag && set ? 1 : 0));
        check(readStateFile(folder(), names[i]) == after[i]);
    }
}

void settingsFile(std::uint8_t pick, const QByteArray &bytes)
{
    // QSettings keeps a parsed file in memory while its size and time stay
    // the same: a fresh application name per input gives a fresh file.
    static const bool configured = [] {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder()));
        return true;
    }();
    (void)configured;
    static int serial = 0;
    const QString app = QStringLiteral("tarn-fuzz-%1").arg(++serial);
    const QString section = QStringLiteral("Settings");
    const std::array<std::pair<QString, int>, 3> keys{
        {{QStringLiteral("Vol"), 2500}, {QStringLiteral("REP"), 1}, {QStringLiteral("SIZE"), 0}}};

    QDir(folder()).mkpath(app);
    writeInPlace(folder() + QLatin1Char('/') + app + QLatin1Char('/') + app + ".conf", bytes);

    QtSettingsStore store;
    std::array<QString, 3> before;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        before[i] = store.getSetting(app, section, keys[i].first, keys[i].second);
        (void)toInt16(before[i]);
    }
    const std::size_t saved = pick % keys.size();
    const std::int16_t value = std::int16_t(bytes.size() * 257 - 3000);
    const bool ok = store.saveSetting(app, section, keys[saved].first, QString::number(value));
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const QString now = store.getSetting(app, section, keys[i].first, keys[i].second);
        if (ok && i == saved)
            check(toInt16(now) == value);
        else
            check(now == before[i]);
    }
    QDir(folder() + QLatin1Char('/') + app).removeRecursively();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const bool linked = data[0] / 3 % 2 == 1;
    switch (data[0] % 3) {
    case 0:
        stateFile(data[1], bytes, linked);
        break;
    case 1:
        flagFile(data[1], bytes, linked);
        break;
    default:
        settingsFile(data[1], bytes);
        break;
    }
    return 0;
}
