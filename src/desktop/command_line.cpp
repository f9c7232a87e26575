#include "desktop/command_line.h"
#include "engine/engine_environment.h"

#include <QDir>
#include <QUrl>

namespace tarn {

namespace {

QString usage()
{
    return QStringLiteral(
               "Usage: tarn-player [FILE|FOLDER|PLAYLIST]...\n"
               "Plays audio files (MP3, WMA, WAV and the other formats FFmpeg decodes).\n"
               "\n"
               "Files are appended to the playlist and the first of them plays. A folder\n"
               "adds the audio files in it and its sub-folders; a playlist (.TPL, .m3u,\n"
               ".m3u8) adds its entries. When the player runs already, they are handed\n"
               "to it.\n"
               "\n"
               "  -h, --help     show this help and exit\n"
               "  -v, --version  show the version and exit\n"
               "\n"
               "Environment:\n") +
           QString::fromUtf8(engine::kEngineEnvironmentHelp);
}

} // namespace

CommandLine parseCommandLine(const QStringList &args, const QString &currentFolder,
                             const QString &versionText)
{
    CommandLine result;
    const QDir folder(currentFolder);
    bool options = true;
    for (const QString &arg : args) {
        if (options && arg == QLatin1String("--")) {
            options = false;
        } else if (options && (arg == QLatin1String("--help") || arg == QLatin1String("-h"))) {
            return {CommandLine::Action::Print, {}, usage()};
        } else if (options && (arg == QLatin1String("--version") || arg == QLatin1String("-v"))) {
            return {CommandLine::Action::Print, {}, versionText + QLatin1Char('\n')};
        } else if (options && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return {CommandLine::Action::Fail,
                    {},
                    QStringLiteral("tarn-player: unknown option %1\n").arg(arg) + usage()};
        } else if (arg.startsWith(QLatin1String("file://"))) {
            result.files << QUrl(arg).toLocalFile();
        } else if (!arg.isEmpty()) {
            result.files << QDir::cleanPath(folder.absoluteFilePath(arg));
        }
    }
    return result;
}

} // namespace tarn
