// The list as a table: one row per card line (name, code, its last day, and
// after a check whether the reader holds it), then the cards the reader holds that the
// list does not, marked. Edits go through the undo stack.
#pragma once

#include "transfer/listdocument.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QUndoStack>

class CardTable : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Name, Code, LastDay, State, Columns };
    static constexpr int ExtraRole = Qt::UserRole;   // true for a card only the reader holds

    explicit CardTable(QObject *parent = nullptr);

    ListDocument &document() { return m_document; }
    QUndoStack &undoStack() { return m_undo; }
    // A newly read document: nothing to undo, nothing checked.
    void reset();
    // Edits not yet in the file: undoing back to the saved state clears it.
    bool isUnsaved() const { return !m_undo.isClean(); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    // The edits, each one step that can be undone.
    void rename(int row, const QString &name);
    void setLastDay(const QList<int> &rows, const QDate &day);   // a null day: valid for ever
    void add(const CardCode &code, const QString &name, const QDate &lastDay = QDate());
    void remove(QList<int> rows);
    // Cards only the reader holds, onto the list with an empty name, as one step.
    void adopt(const QList<CardCode> &codes);
    CardCode codeAt(int row) const;

    // What a check found: each code the reader holds, with its time.
    void setReaderHolds(const QList<DumpRecord> &held, const QDateTime &when);
    // What the reader holds is no longer known (a sync that stopped on the way).
    void forgetReader();
    bool isChecked() const { return m_checked; }
    // The day the rows' expiry is judged by.
    void setToday(const QDate &today);
    int heldCount() const;
    bool isExtra(int row) const { return row >= m_document.cardCount(); }

    // Used by the undo steps.
    void renameNow(int row, const QString &name);
    void setLastDayNow(int row, const QDate &day);
    int addNow(const CardCode &code, const QString &name, const QDate &lastDay);
    ListDocument::RemovedCard removeNow(int row);
    void insertNow(int row, const ListDocument::RemovedCard &card);

signals:
    void countsChanged();

private:
    void refreshExtras();

    ListDocument m_document;
    QUndoStack m_undo;
    bool m_checked = false;
    QDateTime m_checkedAt;
    QDate m_today = QDate::currentDate();
    QHash<quint64, int> m_held;     // code -> opening time in the reader
    QList<DumpRecord> m_extras;     // held, not listed, in the reader's order
    QList<DumpRecord> m_heldOrder;
};
