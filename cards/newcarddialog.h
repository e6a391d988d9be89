// "Új kártya": a name, a code and, if it has one, its last day; the code is
// ten hex digits, optionally after BB, and one the list already has is
// refused, naming its line.
#pragma once

#include "transfer/listdocument.h"

#include <QDate>
#include <QDialog>

class QLabel;
class QLineEdit;

class NewCardDialog : public QDialog
{
    Q_OBJECT

public:
    NewCardDialog(const ListDocument &document, QWidget *parent = nullptr);
    QString name() const;
    CardCode code() const { return m_code; }
    QDate lastDay() const { return m_lastDay; }   // null: valid for ever

    // Why the code cannot be added; empty when it can.
    static QString problemWith(const ListDocument &document, const QString &code, CardCode &parsed);

    void accept() override;

private:
    const ListDocument &m_document;
    QLineEdit *m_name;
    QLineEdit *m_codeField;
    QLineEdit *m_dayField;
    QLabel *m_problem;
    CardCode m_code{};
    QDate m_lastDay;
};
