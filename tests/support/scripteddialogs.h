#pragma once

#include "app/dialogs.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Answers dialogs from a script and records what was shown. No real dialog
// ever opens.
class ScriptedDialogs : public Dialogs
{
public:
    struct Message
    {
        QString title, text;
        Icon icon;
    };

    void message(const QString &title, const QString &text, Icon icon) override
    {
        messages.append({title, text, icon});
        if (onMessage)
            onMessage(messages.last());
    }

    std::optional<QString> file(const FileRequest &request) override
    {
        fileRequests.append(request);
        if (fileAnswers.isEmpty())
            return std::nullopt; // cancelled
        return fileAnswers.takeFirst();
    }

    QStringList texts() const
    {
        QStringList t;
        for (const Message &m : messages)
            t << m.text;
        return t;
    }

    QList<Message> messages;
    QList<FileRequest> fileRequests;
    // Each file dialog takes the next answer; nullopt or none left: cancelled.
    QList<std::optional<QString>> fileAnswers;
    // Runs while a message box would be open (nested, like a real one).
    std::function<void(const Message &)> onMessage;
};
