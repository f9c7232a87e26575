// Message boxes as the windows see them: one OK button, an optional icon, a
// caption that defaults to the program's title.
#pragma once

#include <QString>

namespace tarn {

inline const QString kProgramTitle = QStringLiteral("Tarn Player");

enum class MessageIcon { None, Information, Exclamation, Critical };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(const QString &text, MessageIcon icon = MessageIcon::None,
                      const QString &title = kProgramTitle) = 0;
};

class QtMessageBoxes final : public MessageBoxes {
public:
    void show(const QString &text, MessageIcon icon, const QString &title) override;
};

} // namespace tarn
