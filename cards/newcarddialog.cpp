#include "cards/newcarddialog.h"
#include "cards/texts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

NewCardDialog::NewCardDialog(const ListDocument &document, QWidget *parent)
    : QDialog(parent), m_document(document), m_name(new QLineEdit(this)), m_codeField(new QLineEdit(this)),
      m_dayField(new QLineEdit(this)), m_problem(new QLabel(this))
{
    setWindowTitle(Texts::NewCardAction.chopped(1));
    m_name->setAccessibleName(Texts::NewCardName.chopped(1));
    m_codeField->setAccessibleName(Texts::NewCardCode.chopped(1));
    m_codeField->setPlaceholderText(Texts::NewCardCodeHint);
    m_codeField->setMaxLength(12);
    m_dayField->setAccessibleName(Texts::NewCardLastDay.chopped(1));
    m_dayField->setPlaceholderText(Texts::NewCardLastDayHint);
    m_dayField->setMaxLength(10);
    m_problem->setWordWrap(true);
    for (QLineEdit *field : {m_codeField, m_dayField})   // each hint shown whole
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(field->placeholderText()) + 24);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto *form = new QFormLayout(this);
    form->addRow(Texts::NewCardName, m_name);
    form->addRow(Texts::NewCardCode, m_codeField);
    form->addRow(Texts::NewCardLastDay, m_dayField);
    form->addRow(m_problem);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &NewCardDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NewCardDialog::reject);
}

QString NewCardDialog::name() const
{
    return m_name->text().trimmed();
}

QString NewCardDialog::problemWith(const ListDocument &document, const QString &code, CardCode &parsed)
{
    const std::optional<CardCode> given = codeField(code.trimmed().toLatin1());
    if (!given)
        return Texts::notACode();
    if (const std::optional<int> row = document.find(*given))
        return Texts::codeAlreadyListed(*given, document.lineOf(*row), document.card(*row).name);
    parsed = *given;
    return {};
}

void NewCardDialog::accept()
{
    const QString problem = problemWith(m_document, m_codeField->text(), m_code);
    if (!problem.isEmpty()) {
        m_problem->setText(problem);
        m_codeField->setFocus();
        return;
    }
    const QString day = m_dayField->text().trimmed();
    m_lastDay = QDate::fromString(day, Qt::ISODate);
    if (!day.isEmpty() && (!m_lastDay.isValid() || day.size() != 10)) {
        m_problem->setText(Texts::notADay());
        m_dayField->setFocus();
        return;
    }
    QDialog::accept();
}
