// Answers the window's dialogs from a script and remembers what was asked:
// for tests, and for the tools that drive the real window without a person.
#pragma once

#include "desktop/dialogs.h"

#include <QStringList>

class ScriptedDialogs : public Dialogs
{
public:
    QStringList messages;
    QStringList questions;
    QList<bool> confirmAnswers;   // none left: Cancel
    QStringList fileAnswers;      // none left: the user cancels
    int fileDialogs = 0;
    QString filter;

    void message(QWidget *, const QString &text) override { messages.append(text); }
    bool confirm(QWidget *, const QString &question) override
    {
        questions.append(question);
        return !confirmAnswers.isEmpty() && confirmAnswers.takeFirst();
    }
    QString openFileName(QWidget *, const QString &f) override
    {
        ++fileDialogs;
        filter = f;
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    bool confirmDetailed(QWidget *parent, const QString &question, const QString &details) override
    {
        this->details.append(details);
        return confirm(parent, question);
    }
    QStringList details;
    QList<Choice> choices;   // none left: Cancel
    Choice choose(QWidget *, const QString &question) override
    {
        questions.append(question);
        return choices.isEmpty() ? Choice::Cancel : choices.takeFirst();
    }
    QString saveFileName(QWidget *parent, const QString &f) override { return openFileName(parent, f); }
    QList<int> answers;   // none left: Cancel
    int ask(QWidget *, const QString &question, const QStringList &) override
    {
        questions.append(question);
        return answers.isEmpty() ? -1 : answers.takeFirst();
    }
};
