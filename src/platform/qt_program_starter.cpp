#include "platform/program_starter.h"

#include <QProcess>

namespace tarn {

bool QtProgramStarter::start(const QString &path)
{
    return !path.isEmpty() && QProcess::startDetached(path, {});
}

} // namespace tarn
