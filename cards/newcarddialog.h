// "Új kártya": a name and a code; the code is ten hex digits, optionally
// after BB, and one the list already has is refused, naming its row.
#pragma once

#include "transfer/listdocument.h"

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

    // Why the code cannot be added; empty when it can.
    static QString problemWith(const ListDocument &document, const QString &code, CardCode &parsed);

    void accept() override;

private:
    const ListDocument &m_document;
    QLineEdit *m_name;
    QLineEdit *m_codeField;
    QLabel *m_problem;
    CardCode m_code{};
};
