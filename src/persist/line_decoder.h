// Text lines of files written on any system: UTF-8 when a line is valid
// UTF-8, Windows-1252 otherwise (files written on Windows).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <optional>

namespace tarn {

// One per read: opening the ICU converter costs far more than decoding a line.
class LineDecoder {
public:
    QString operator()(const QByteArray &bytes)
    {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
        if (!windows1252_)
            windows1252_.emplace("windows-1252", QStringDecoder::Flag::Stateless);
        if (!windows1252_->isValid()) // Qt without ICU: Latin-1 shares most letters
            return QString::fromLatin1(bytes);
        return (*windows1252_)(bytes);
    }

private:
    std::optional<QStringDecoder> windows1252_;
};

} // namespace tarn
