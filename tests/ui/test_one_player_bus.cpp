// One player per user and display: who owns the channel, who may use it, and
// what a later start does when the owner does not take its files. CTest runs
// this under dbus-run-session; the socket cases use no bus at all.
#include "desktop/one_player.h"
#include "fakes/data_rows.h"
#include "platform/local_socket.h"
#include "platform/qt_instance_channel.h"

#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <future>
#include <grp.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using tarn::test::row;
using namespace tarn;
using Outcome = PlayerStart::Outcome;

namespace {

constexpr int kNobody = 65534;
// The patience of a start in these tests: only holders that never answer wait it out.
constexpr int kPatienceMs = 300;
// The display the tests set (DISPLAY=:41, for the players they start too) and its bus name.
const QString kDisplay = QStringLiteral(":41");
const QString kService = QStringLiteral("org.tarnplayer.TarnPlayer.d_41");

QDBusConnection noBus()
{
    return QDBusConnection(QStringLiteral("no bus"));
}

// Runs `work` on a thread of its own while this thread's event loop runs,
// where a player of this process answers; returns what `work` returned.
template <typename Work> auto whileAnswering(Work work)
{
    auto result = std::async(std::launch::async, std::move(work));
    while (result.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        QTest::qWait(10);
    return result.get();
}

// Runs `body` in a child process, which ends with its return value.
pid_t forkChild(const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    return pid;
}

// The exit status of child `pid`, while this process's event loop runs.
int waitChild(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0)
        QTest::qWait(10);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In a child: becomes user nobody; false when it cannot.
bool becomeNobody()
{
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

sockaddr_un addressOf(const QString &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    return address;
}

UniqueFd listenAt(const QString &path)
{
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_un address = addressOf(path);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) < 0 ||
        ::listen(socket.get(), 16) < 0)
        return {};
    return socket;
}

int chmodPath(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode);
}

QByteArray listBytes(const QStringList &files)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << files;
    return bytes;
}

// Lets `starts` child processes claim `socket` at the same moment; returns
// what each got, sorted: P the name, t taken by another, e an error.
QByteArray claimAtOnce(const QString &socket, int starts)
{
    int go[2], results[2], hold[2];
    if (::pipe(go) || ::pipe(results) || ::pipe(hold))
        return "pipe";
    std::vector<pid_t> children;
    for (int i = 0; i < starts; ++i)
        children.push_back(forkChild([&] {
            char byte;
            ::close(go[1]);
            ::read(go[0], &byte, 1); // all start when the parent closes its end
            const LocalName name = claimLocalName(socket);
            const char result = name.socket.valid() ? 'P' : name.taken ? 't' : 'e';
            ::write(results[1], &result, 1);
            ::close(hold[1]);
            ::read(hold[0], &byte, 1); // holds the name until all have tried
            return 0;
        }));
    ::close(go[0]);
    ::close(go[1]);
    ::close(results[1]);
    ::close(hold[0]);
    QByteArray outcomes;
    char result;
    while (outcomes.size() < starts && ::read(results[0], &result, 1) == 1)
        outcomes += result;
    ::close(results[0]);
    ::close(hold[1]);
    for (const pid_t child : children)
        ::waitpid(child, nullptr, 0);
    std::sort(outcomes.begin(), outcomes.end());
    return outcomes;
}

// How another process holds the channel in a row, and so whether and how it answers.
enum class Holder {
    LockedNotListening, // a start between taking the name and listening, or hung there
    ListensNeverReads,  // a player whose event loop is stuck
    ReadsButRefuses,    // reads the list to its end and closes without taking it
    PlayerHere,         // a real player, over a file left by one that died
    BusNameNoObject,    // the bus name held by a program without Open
    BusOpenNeverAnswers,
    BusPlayerHere,
};

// A holder on the bus whose Open never answers.
class SilentHolder : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tarnplayer.TarnPlayer")
public slots:
    Q_SCRIPTABLE void Open(const QStringList &) { setDelayedReply(true); }
};

// Takes the channel as `holder` says, for as long as it lives.
class ChannelHolder {
public:
    ChannelHolder(Holder holder, const QString &socket, QStringList *received)
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "holder"))
    {
        switch (holder) {
        case Holder::LockedNotListening:
        case Holder::ListensNeverReads:
        case Holder::ReadsButRefuses:
            lock_ = UniqueFd(::open(QFile::encodeName(lockPathFor(socket)).constData(),
                                    O_RDWR | O_CREAT | O_CLOEXEC, 0600));
            QVERIFY(::flock(lock_.get(), LOCK_EX | LOCK_NB) == 0);
            if (holder == Holder::LockedNotListening)
                return;
            socket_ = listenAt(socket);
            QVERIFY(socket_.valid());
            if (holder == Holder::ReadsButRefuses) {
                refuser_ = std::make_unique<QSocketNotifier>(socket_.get(), QSocketNotifier::Read);
                QObject::connect(refuser_.get(), &QSocketNotifier::activated, [this] {
                    const UniqueFd peer(::accept(socket_.get(), nullptr, nullptr));
                    char buffer[4096];
                    while (::read(peer.get(), buffer, sizeof buffer) > 0) {
                    }
                });
            }
            return;
        case Holder::PlayerHere: {
            QFile stale(socket); // a plain file where a dead player's socket was
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.close();
            player_ = std::make_unique<QtInstanceChannel>(kDisplay, socket, noBus());
            break;
        }
        case Holder::BusNameNoObject:
            QVERIFY(bus_.interface()->registerService(kService).isValid());
            return;
        case Holder::BusOpenNeverAnswers:
            QVERIFY(bus_.registerObject("/org/tarnplayer/TarnPlayer", &silent_,
                                        QDBusConnection::ExportScriptableSlots));
            QVERIFY(bus_.interface()->registerService(kService).isValid());
            return;
        case Holder::BusPlayerHere:
            player_ = std::make_unique<QtInstanceChannel>(kDisplay, QString(), bus_);
            break;
        }
        QCOMPARE(player_->claim([received](const QStringList &files) { *received = files; }),
                 InstanceChannel::Claim::Claimed);
    }
    ~ChannelHolder()
    {
        player_.reset();
        bus_.unregisterObject("/org/tarnplayer/TarnPlayer");
        bus_.interface()->unregisterService(kService);
        QDBusConnection::disconnectFromBus("holder");
    }

private:
    QDBusConnection bus_;
    UniqueFd lock_;
    UniqueFd socket_;
    std::unique_ptr<QSocketNotifier> refuser_;
    SilentHolder silent_;
    std::unique_ptr<QtInstanceChannel> player_;
};

} // namespace

Q_DECLARE_METATYPE(Holder)
Q_DECLARE_METATYPE(tarn::PlayerStart::Outcome)

class OnePlayerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus: run under dbus-run-session");
        qputenv("DISPLAY", ":41");
    }

    // Guards: the socket made in a folder that other users can enter or that
    // someone else made for this user (they could take its name or read the
    // files handed over); a missing folder not made private.
    void socketFolder_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("usable");
        row("missing: made with mode 0700", "missing", true);
        row("mode 0777", "0777", false);
        row("mode 0710: the group may enter", "0710", false);
        row("a symbolic link to a private folder", "link", false);
        row("a file", "file", false);
        row("owned by nobody (root only)", "nobody", false);
    }
    void socketFolder()
    {
        QFETCH(QString, setup);
        QFETCH(bool, usable);
        if (setup == "nobody" && ::geteuid() != 0)
            QSKIP("needs root to give a folder away");
        QTemporaryDir dir;
        const QString folder = dir.filePath("tarn-player");
        const QByteArray name = QFile::encodeName(folder);
        if (setup == "0777" || setup == "0710" || setup == "nobody") {
            QVERIFY(QDir().mkdir(folder));
            QCOMPARE(chmodPath(folder, setup == "0710" ? 0710 : setup == "0777" ? 0777 : 0700), 0);
            if (setup == "nobody")
                QCOMPARE(::chown(name.constData(), kNobody, kNobody), 0);
        } else if (setup == "link") {
            QVERIFY(QDir().mkdir(dir.filePath("private")));
            QVERIFY(QFile::link(dir.filePath("private"), folder));
        } else if (setup == "file") {
            QFile file(folder);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QString socket = folder + "/display:41.socket";

        QtInstanceChannel channel(kDisplay, socket, noBus());
        const auto claim = channel.claim({});
        QCOMPARE(claim,
                 usable ? InstanceChannel::Claim::Claimed : InstanceChannel::Claim::Unavailable);
        if (usable) {
            struct stat st {};
            QCOMPARE(::lstat(name.constData(), &st), 0);
            QCOMPARE(st.st_mode & 07777, mode_t(0700));
            return;
        }
        QVERIFY2(channel.error().startsWith(folder), qPrintable(channel.error()));
        QVERIFY(!QFileInfo::exists(socket));
        QVERIFY(!QFileInfo::exists(dir.filePath("private/display:41.socket")));
        // Nor is anything handed over through it.
        QtInstanceChannel later(kDisplay, socket, noBus());
        QCOMPARE(later.handOver({"/m/a.mp3"}, kPatienceMs), InstanceChannel::HandOver::NotTaken);
    }

    // Guards: two starts at the same moment both becoming players (a check,
    // then unlink and bind, is no claim); the second of them replacing the
    // socket of the first. Such a race is lost only now and then: several
    // rounds make a claim that is not atomic fail here nearly always.
    void startsAtTheSameMomentClaimOnce()
    {
        constexpr int kStarts = 8;
        for (int round = 0; round < 5; ++round) {
            QTemporaryDir dir;
            QCOMPARE(claimAtOnce(dir.filePath("display:41.socket"), kStarts),
                     QByteArray("P") + QByteArray(kStarts - 1, 't'));
        }
    }

    // Guards: a later start becoming a second player, or ending with success
    // with its files lost, when the holder of the channel does not take them;
    // a start given up on while the holder is only a moment from listening.
    void laterStart_data()
    {
        QTest::addColumn<Holder>("holder");
        QTest::addColumn<Outcome>("outcome");
        row("socket: taken, not listening", Holder::LockedNotListening, Outcome::Failed);
        row("socket: listens, never reads", Holder::ListensNeverReads, Outcome::Failed);
        row("socket: reads, refuses", Holder::ReadsButRefuses, Outcome::Failed);
        row("socket: a player", Holder::PlayerHere, Outcome::HandedOver);
        row("bus: name without Open", Holder::BusNameNoObject, Outcome::Failed);
        row("bus: Open never answers", Holder::BusOpenNeverAnswers, Outcome::Failed);
        row("bus: a player", Holder::BusPlayerHere, Outcome::HandedOver);
    }
    void laterStart()
    {
        QFETCH(Holder, holder);
        QFETCH(Outcome, outcome);
        QTemporaryDir dir;
        const QString socket = dir.filePath("display:41.socket");
        const bool onBus = holder >= Holder::BusNameNoObject;
        QStringList received;
        ChannelHolder held(holder, socket, &received);
        if (QTest::currentTestFailed())
            return;
        const QStringList files{"/m/a b.mp3", "/m/ü.wav"};
        const PlayerStart start = whileAnswering([&] {
            QtInstanceChannel channel(kDisplay, socket,
                                      onBus ? QDBusConnection::sessionBus() : noBus());
            return startPlayer(channel, files, {}, kPatienceMs);
        });
        QCOMPARE(start.outcome, outcome);
        if (outcome == Outcome::HandedOver)
            QTRY_COMPARE(received, files);
        else
            QVERIFY(!start.message.isEmpty());
    }

    // Guards: a list of files from another user's process taken by the
    // player, should it reach the socket past the folder's protection.
    void listenerDropsOtherUsers()
    {
        if (::geteuid() != 0)
            QSKIP("needs root: a child process turns into another user");
        QTemporaryDir dir;
        const QString socket = dir.filePath("display:41.socket");
        QStringList received;
        QtInstanceChannel player(kDisplay, socket, noBus());
        QCOMPARE(player.claim([&received](const QStringList &files) { received = files; }),
                 InstanceChannel::Claim::Claimed);
        // Open the way to the socket, as if its folder did not protect it.
        QCOMPARE(chmodPath(dir.path(), 0711), 0);
        QCOMPARE(chmodPath(socket, 0666), 0);
        const QByteArray bytes = listBytes({"/from/nobody.mp3"});
        const pid_t child = forkChild([&] {
            if (!becomeNobody())
                return 3;
            const UniqueFd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
            const sockaddr_un address = addressOf(socket);
            if (::connect(s.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address))
                return 4;
            if (::send(s.get(), bytes.constData(), bytes.size(), MSG_NOSIGNAL) != bytes.size())
                return 1; // dropped before the end
            ::shutdown(s.get(), SHUT_WR);
            char answer = 0;
            return ::recv(s.get(), &answer, 1, 0) == 1 ? 0 : 1; // 0: taken
        });
        QCOMPARE(waitChild(child), 1);
        // The player still takes a list of its own user's.
        QCOMPARE(chmodPath(dir.path(), 0700), 0);
        QCOMPARE(whileAnswering([&] { return sendFiles(socket, {"/mine.mp3"}, 10000, nullptr); }),
                 Sent::Taken);
        QTRY_COMPARE(received, QStringList{"/mine.mp3"});
    }

    // Guards: a later start handing its files to a socket that another user's
    // process listens on.
    void senderRefusesOtherUsersListener()
    {
        if (::geteuid() != 0)
            QSKIP("needs root: a child process turns into another user");
        QTemporaryDir dir;
        const QString socket = dir.filePath("display:41.socket");
        QCOMPARE(chmodPath(dir.path(), 0777), 0); // nobody may make its socket
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const pid_t child = forkChild([&] {
            ::close(ready[0]);
            if (!becomeNobody())
                return 3;
            const UniqueFd listener = listenAt(socket);
            ::write(ready[1], "r", 1);
            const UniqueFd peer(::accept(listener.get(), nullptr, nullptr));
            qint64 bytes = 0;
            char buffer[4096];
            for (ssize_t n; (n = ::read(peer.get(), buffer, sizeof buffer)) > 0;)
                bytes += n;
            ::send(peer.get(), "+", 1, MSG_NOSIGNAL); // answers as a player would
            return bytes > 0 ? 1 : 0;                 // 1: the list reached it
        });
        ::close(ready[1]);
        char byte;
        QCOMPARE(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        QCOMPARE(chmodPath(dir.path(), 0700), 0);
        QString why;
        const Sent sent = sendFiles(socket, {"/secret.mp3"}, 10000, &why);
        {
            // A connection of its own, should the sender not have connected at all.
            const UniqueFd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
            const sockaddr_un address = addressOf(socket);
            ::connect(s.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
        }
        QCOMPARE(waitChild(child), 0);
        QCOMPARE(sent, Sent::NotTaken);
        QVERIFY2(why.contains("another user"), qPrintable(why));
    }

    // Guards: the program itself ending with success (or starting a second
    // player) when the running one did not take its files, saying nothing.
    void secondStartOfTheProgram_data()
    {
        QTest::addColumn<Holder>("holder");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        row("socket: a player", Holder::PlayerHere, 0, "");
        row("socket: reads, refuses", Holder::ReadsButRefuses, 1,
            "tarn-player: a player runs already but did not take the files");
        row("bus: name without Open", Holder::BusNameNoObject, 1,
            "tarn-player: a player runs already but did not take the files");
    }
    void secondStartOfTheProgram()
    {
        QFETCH(Holder, holder);
        QFETCH(int, status);
        QFETCH(QString, says);
        QTemporaryDir home;
        const QString runtime = home.filePath("run");
        QVERIFY(QDir().mkdir(runtime));
        QCOMPARE(chmodPath(runtime, 0700), 0);
        QVERIFY(QDir().mkdir(runtime + "/tarn-player"));
        QCOMPARE(chmodPath(runtime + "/tarn-player", 0700), 0);
        QStringList received;
        ChannelHolder held(holder, runtime + "/tarn-player/display:41.socket", &received);
        if (QTest::currentTestFailed())
            return;

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
        env.insert("XDG_DATA_HOME", home.filePath(".local/share"));
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("TARN_AUDIO_OUTPUT", "sdl");
        if (holder < Holder::BusNameNoObject)
            env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath("no-bus"));
        const QString file = qEnvironmentVariable("TARN_FIXTURES") + "/tone440_cbr128_id3.mp3";
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(TARN_PLAYER), {file});
        QVERIFY(second.waitForStarted());
        // The holder answers from this event loop. A start that became a
        // second player would never end: a minute is far beyond any hand-over.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 60000);
        const QString err = QString::fromLocal8Bit(second.readAllStandardError());
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QVERIFY2(second.exitCode() == status, qPrintable(err));
        QVERIFY2(err.contains(says), qPrintable(err));
        if (status == 0)
            QTRY_COMPARE(received, QStringList{file});
    }
};

QTEST_MAIN(OnePlayerTest)
#include "test_one_player_bus.moc"
