// SIGTERM (what a desktop logout or `kill` sends) and SIGINT (Ctrl+C in a
// terminal) as a Qt signal on the event loop, so that the program ends through
// its own Exit procedure, saving its settings, instead of dying where it stands.
//
// The signal handler only writes the signal's number into a pipe, which is
// safe in a handler; a socket notifier reads it on the thread that created
// the object and emits received(). Only one object may be alive at a time; it
// puts the earlier handlers back when destroyed.
#pragma once

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

namespace tarn {

class QuitSignals final : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

    // False when the handlers could not be installed: the signals then keep
    // their earlier effect (by default, ending the program at once).
    bool isActive() const { return notifier_ != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readPipe();

    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previousTerm_ {};
    struct sigaction previousInt_ {};
};

} // namespace tarn
