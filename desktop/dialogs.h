// The one seam for the window's modal dialogs, so that tests can answer them.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // A message with a single OK button.
    virtual void message(QWidget *parent, const QString &text) = 0;
    // A question with OK and Cancel; true for OK. Esc and the close box are Cancel.
    virtual bool confirm(QWidget *parent, const QString &question) = 0;
    // The file-open dialog; an empty name when the user cancels.
    virtual QString openFileName(QWidget *parent, const QString &filter) = 0;

    // For the card window: a question with details to read before answering
    // (OK and Cancel), one of three answers, and the file-save dialog.
    enum class Choice { Yes, No, Cancel };
    virtual bool confirmDetailed(QWidget *parent, const QString &question, const QString &details) = 0;
    virtual Choice choose(QWidget *parent, const QString &question) = 0;
    virtual QString saveFileName(QWidget *parent, const QString &filter) = 0;
    // A question with answers of its own, as buttons in this order, and Cancel:
    // the index of the answer, or -1 for Cancel, Esc and the close box.
    virtual int ask(QWidget *parent, const QString &question, const QStringList &answers) = 0;
    // The folder the next file dialog opens in: the open list's.
    virtual void startIn(const QString & /*folder*/) {}
};

// The real dialogs: the program's title as caption, no icon, Qt's Hungarian texts.
class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(const QString &title);
    void message(QWidget *parent, const QString &text) override;
    bool confirm(QWidget *parent, const QString &question) override;
    QString openFileName(QWidget *parent, const QString &filter) override;
    bool confirmDetailed(QWidget *parent, const QString &question, const QString &details) override;
    Choice choose(QWidget *parent, const QString &question) override;
    QString saveFileName(QWidget *parent, const QString &filter) override;
    int ask(QWidget *parent, const QString &question, const QStringList &answers) override;
    void startIn(const QString &folder) override { m_folder = folder; }

private:
    QString fileName(QWidget *parent, const QString &filter, bool save);

    QString m_title;
    QString m_folder;   // where the file dialog opens: home at first, then the last list's folder
};

// Loads Qt's own Hungarian texts for the standard dialogs' buttons and labels.
void installQtHungarian();
