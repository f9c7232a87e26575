// File dialogs and message boxes that answer from a script and never open.
#pragma once

#include "platform/file_dialogs.h"
#include "platform/message_boxes.h"

#include <QList>
#include <QStringList>

namespace tarn::test {

struct DialogCall {
    QString kind; // "open", "openMany", "save"
    QString title;
    QString filter;
};

class FakeDialogs final : public FileDialogs {
public:
    QList<DialogCall> calls;
    QList<QStringList> answers; // next answers, front first; empty list = cancel

    QString getOpenFileName(const QString &title, const QString &filter) override
    {
        calls.append({QStringLiteral("open"), title, filter});
        const QStringList a = next();
        return a.isEmpty() ? QString() : a.first();
    }
    QStringList getOpenFileNames(const QString &title, const QString &filter) override
    {
        calls.append({QStringLiteral("openMany"), title, filter});
        return next();
    }
    QString getSaveFileName(const QString &title, const QString &filter) override
    {
        calls.append({QStringLiteral("save"), title, filter});
        const QStringList a = next();
        return a.isEmpty() ? QString() : a.first();
    }

private:
    QStringList next() { return answers.isEmpty() ? QStringList() : answers.takeFirst(); }
};

struct MessageCall {
    QString text;
    MessageIcon icon;
    QString title;
};

class FakeMessages final : public MessageBoxes {
public:
    QList<MessageCall> shown;
    void show(const QString &text, MessageIcon icon, const QString &title) override
    {
        shown.append({text, icon, title});
    }
    QStringList texts() const
    {
        QStringList t;
        for (const MessageCall &m : shown)
            t << m.text;
        return t;
    }
};

} // namespace tarn::test
