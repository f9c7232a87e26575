#include "platform/quit_signals.h"

#include <QByteArray>
#include <QPointer>
#include <QSocketNotifier>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace tarn {

namespace {

// The pipe's write end for the handler; -1 while no object is alive.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

extern "C" void onQuitSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = g_writeEnd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // Non-blocking: with the pipe full, a notice is already waiting.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QObject *parent) : QObject(parent)
{
    int ends[2];
    if (g_writeEnd.load() >= 0 || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Tarn Player: SIGTERM and SIGINT end the program without saving (%s)",
                 g_writeEnd.load() >= 0 ? "handled elsewhere" : std::strerror(errno));
        return;
    }
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    g_writeEnd.store(writeEnd_);

    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // interrupted system calls go on
    ::sigaction(SIGTERM, &action, &previousTerm_);
    ::sigaction(SIGINT, &action, &previousInt_);

    notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitSignals::readPipe);
}

QuitSignals::~QuitSignals()
{
    if (!notifier_)
        return;
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
    ::sigaction(SIGINT, &previousInt_, nullptr);
    g_writeEnd.store(-1);
    notifier_.reset();
    ::close(readEnd_);
    ::close(writeEnd_);
}

void QuitSignals::readPipe()
{
    QByteArray signalNumbers;
    char bytes[16];
    ssize_t count;
    while ((count = ::read(readEnd_, bytes, sizeof bytes)) > 0)
        signalNumbers.append(bytes, count);
    // A receiver may end the program and with it this object.
    const QPointer<QuitSignals> alive(this);
    for (const char number : std::as_const(signalNumbers)) {
        if (!alive)
            return;
        emit received(static_cast<unsigned char>(number));
    }
}

} // namespace tarn
