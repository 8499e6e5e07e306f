// A stand-in for the message boxes: records every box the program shows and
// answers questions as the test says.
#pragma once

#include <QList>
#include <QStringList>
#include <functional>

#include "shell/messageboxes.h"

class ScriptedMessages final : public MessageResponder {
public:
    struct Shown {
        MsgKind kind;
        QString title;
        QString text;
        QString detail;  // the informative second line, if any
    };

    MsgAnswer Show(MsgKind kind, const QString& title, const QString& text, const QString& detail) override
    {
        shown.append({kind, title, text, detail});
        if (onShow)
            onShow();
        if (kind == MsgKind::SkipQuestion)
            return skipAnswer;
        return kind == MsgKind::Question ? answer : MsgAnswer::Yes;
    }

    QStringList Texts() const
    {
        QStringList texts;
        for (const Shown& s : shown)
            texts << s.text;
        return texts;
    }

    // Each box as its title, a colon and its text.
    QStringList Titled() const
    {
        QStringList titled;
        for (const Shown& s : shown)
            titled << s.title + QLatin1Char(':') + s.text;
        return titled;
    }

    QList<Shown> shown;
    MsgAnswer answer = MsgAnswer::Yes;
    MsgAnswer skipAnswer = MsgAnswer::No;  // 中止, as Enter on the real box
    std::function<void()> onShow;
};
