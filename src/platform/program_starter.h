// Starting another program by the path of its executable, detached from this
// one and never through a shell, so nothing in the path is interpreted.
#pragma once

#include <QString>

namespace tarn {

class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // True when the program has started.
    virtual bool start(const QString &path) = 0;
};

class QtProgramStarter final : public ProgramStarter {
public:
    bool start(const QString &path) override;
};

// Starts nothing: for a player that must not start other programs.
class NoProgramStarter final : public ProgramStarter {
public:
    bool start(const QString &) override { return false; }
};

} // namespace tarn
