// File dialogs as the windows see them. Filters use Qt's syntax
// ("MP3 File (*.mp3);;(*.WMA)") and match case-insensitively. Every call
// returns an empty result when the user cancels.
#pragma once

#include <QString>
#include <QStringList>

namespace tarn {

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual QString getOpenFileName(const QString &title, const QString &filter) = 0;
    virtual QStringList getOpenFileNames(const QString &title, const QString &filter) = 0;
    virtual QString getSaveFileName(const QString &title, const QString &filter) = 0;
};

// Qt's own dialog (not the desktop's), so automated checks can drive it.
class QtFileDialogs final : public FileDialogs {
public:
    QString getOpenFileName(const QString &title, const QString &filter) override;
    QStringList getOpenFileNames(const QString &title, const QString &filter) override;
    QString getSaveFileName(const QString &title, const QString &filter) override;
};

} // namespace tarn
