#include "shell/sys_info.h"
#include "platform/message_boxes.h"
#include "platform/program_starter.h"
#include "platform/registry.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QtEndian>

namespace tarn {

namespace {

constexpr int kBufferSize = 1024;

bool failed(QString &KeyVal)
{
    KeyVal.clear();
    return false;
}

} // namespace

bool GetKeyValue(Registry &registry, std::uint32_t KeyRoot, const QString &KeyName,
                 const QString &SubKeyRef, QString &KeyVal)
{
    const std::optional<Registry::Key> key = registry.openKey(KeyRoot, KeyName, Registry::kKeyRead);
    if (!key)
        return failed(KeyVal);
    const auto close = qScopeGuard([&] { registry.closeKey(*key); });

    const std::optional<Registry::Value> value = registry.queryValue(*key, SubKeyRef, kBufferSize);
    if (!value || value->bytes.isEmpty())
        return failed(KeyVal);

    switch (value->type) {
    case Registry::kString: {
        // Exactly one terminating NUL is not part of the text.
        QByteArrayView text(value->bytes);
        if (text.endsWith('\0'))
            text.chop(1);
        KeyVal = QString::fromLocal8Bit(text);
        return true;
    }
    case Registry::kNumber32:
        if (value->bytes.size() != 4)
            return failed(KeyVal);
        KeyVal = QString::number(qFromLittleEndian<quint32>(value->bytes.constData()));
        return true;
    default:
        return true;
    }
}

void StartSysInfo(Registry &registry, ProgramStarter &programs, MessageBoxes &messages)
{
    const auto root = Registry::kLocalMachine;
    QString path;
    if (!GetKeyValue(registry, root, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                     QStringLiteral("PATH"), path)) {
        QString folder;
        if (GetKeyValue(registry, root,
                        QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                        QStringLiteral("MSINFO"), folder)) {
            const QString tool = folder + QStringLiteral("/MSINFO32.EXE");
            if (QFileInfo(tool).isFile())
                path = tool;
        }
    }
    // An empty path names no program: nothing is asked to start it.
    if (!path.isEmpty() && programs.start(path))
        return;
    messages.show(QStringLiteral("System Information Is Unavailable At This Time"),
                  MessageIcon::None, kProgramTitle);
}

} // namespace tarn
