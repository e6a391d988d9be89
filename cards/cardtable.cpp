#include "cards/cardtable.h"
#include "cards/texts.h"

#include <QBrush>
#include <QColor>
#include <QSet>
#include <QUndoCommand>
#include <algorithm>

namespace {

class RenameStep : public QUndoCommand
{
public:
    RenameStep(CardTable &table, int row, const QString &from, const QString &to)
        : m_table(table), m_row(row), m_from(from), m_to(to)
    {
    }
    void redo() override { m_table.renameNow(m_row, m_to); }
    void undo() override { m_table.renameNow(m_row, m_from); }

private:
    CardTable &m_table;
    int m_row;
    QString m_from, m_to;
};

class DayStep : public QUndoCommand
{
public:
    DayStep(CardTable &table, int row, const QDate &from, const QDate &to, QUndoCommand *parent)
        : QUndoCommand(parent), m_table(table), m_row(row), m_from(from), m_to(to)
    {
    }
    void redo() override { m_table.setLastDayNow(m_row, m_to); }
    void undo() override { m_table.setLastDayNow(m_row, m_from); }

private:
    CardTable &m_table;
    int m_row;
    QDate m_from, m_to;
};

class AddStep : public QUndoCommand
{
public:
    AddStep(CardTable &table, const CardCode &code, const QString &name, const QDate &lastDay)
        : m_table(table), m_code(code), m_name(name), m_lastDay(lastDay)
    {
    }
    void redo() override { m_row = m_table.addNow(m_code, m_name, m_lastDay); }
    void undo() override { m_table.removeNow(m_row); }

private:
    CardTable &m_table;
    CardCode m_code;
    QString m_name;
    QDate m_lastDay;
    int m_row = -1;
};

class RemoveStep : public QUndoCommand
{
public:
    RemoveStep(CardTable &table, QList<int> rows) : m_table(table), m_rows(std::move(rows))
    {
        std::sort(m_rows.begin(), m_rows.end(), std::greater<int>());   // the last first: the others keep their rows
    }
    void redo() override
    {
        m_removed.clear();
        for (int row : m_rows)
            m_removed.append(m_table.removeNow(row));
    }
    void undo() override
    {
        for (qsizetype i = m_rows.size() - 1; i >= 0; --i)
            m_table.insertNow(m_rows[i], m_removed[i]);
    }

private:
    CardTable &m_table;
    QList<int> m_rows;
    QList<ListDocument::RemovedCard> m_removed;
};

} // namespace

CardTable::CardTable(QObject *parent) : QAbstractTableModel(parent)
{
}

void CardTable::reset()
{
    beginResetModel();
    m_undo.clear();
    m_undo.setClean();
    m_checked = false;
    m_held.clear();
    m_heldOrder.clear();
    m_extras.clear();
    endResetModel();
    emit countsChanged();
}

void CardTable::forgetReader()
{
    m_checked = false;
    m_held.clear();
    m_heldOrder.clear();
    refreshExtras();
    emit dataChanged(index(0, State), index(qMax(0, rowCount() - 1), State));
    emit headerDataChanged(Qt::Horizontal, State, State);
}

int CardTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_document.cardCount() + int(m_extras.size());
}

int CardTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant CardTable::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    const bool extra = isExtra(row);
    const CardCode code = codeAt(row);
    if (role == ExtraRole)
        return extra;
    if (role == Qt::BackgroundRole && extra)
        return QBrush(QColor(255, 236, 200));
    const QDate lastDay = extra ? QDate() : m_document.card(row).lastDay;
    const bool expired = lastDay.isValid() && lastDay < m_today;
    if (role == Qt::ForegroundRole && expired)
        return QBrush(QColor(128, 128, 128));
    if (role == Qt::EditRole && index.column() == LastDay)   // a date field, from today when it had none
        return lastDay.isValid() ? lastDay : m_today;
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case Name: return extra ? QString() : m_document.card(row).name;
    case Code: return hexCode(code);
    case LastDay: return lastDay.isValid() ? Texts::lastDayCell(lastDay, expired) : QString();
    case State: {
        if (!m_checked)
            return QString();
        const auto held = m_held.constFind(codeKey(code));
        if (extra)
            return Texts::onlyInReader(*held);
        if (held == m_held.cend())
            return Texts::notHeld();
        return expired ? Texts::expiredHeld(*held) : Texts::heldWith(*held);
    }
    default: return {};
    }
}

QVariant CardTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    switch (section) {
    case Name: return Texts::NameColumn;
    case Code: return Texts::CodeColumn;
    case LastDay: return Texts::LastDayColumn;
    default: return m_checked ? Texts::stateAsOf(m_checkedAt) : Texts::StateColumn;
    }
}

Qt::ItemFlags CardTable::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if ((index.column() == Name || index.column() == LastDay) && !isExtra(index.row()) && !m_document.isReadOnly())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool CardTable::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    if (index.column() == LastDay)
        setLastDay({index.row()}, value.toDate());
    else
        rename(index.row(), value.toString());
    return true;
}

void CardTable::rename(int row, const QString &name)
{
    const QString from = m_document.card(row).name;
    if (from != cleanName(name))
        m_undo.push(new RenameStep(*this, row, from, cleanName(name)));
}

void CardTable::setLastDay(const QList<int> &rows, const QDate &day)
{
    auto *step = new QUndoCommand(Texts::LastDayStep);
    for (int row : rows) {
        if (!isExtra(row) && m_document.card(row).lastDay != day)
            new DayStep(*this, row, m_document.card(row).lastDay, day, step);
    }
    if (step->childCount() > 0)
        m_undo.push(step);
    else
        delete step;
}

void CardTable::add(const CardCode &code, const QString &name, const QDate &lastDay)
{
    m_undo.push(new AddStep(*this, code, name, lastDay));
}

void CardTable::remove(QList<int> rows)
{
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int row) { return isExtra(row); }), rows.end());
    if (!rows.isEmpty())
        m_undo.push(new RemoveStep(*this, rows));
}

void CardTable::adopt(const QList<CardCode> &codes)
{
    // By code: each adoption rebuilds the rows of the reader's other cards.
    m_undo.beginMacro(Texts::AdoptAction);
    for (const CardCode &code : codes)
        add(code, QString(), QDate());
    m_undo.endMacro();
}

CardCode CardTable::codeAt(int row) const
{
    return isExtra(row) ? m_extras[row - m_document.cardCount()].code : m_document.card(row).code;
}

void CardTable::renameNow(int row, const QString &name)
{
    m_document.setName(row, name);
    emit dataChanged(index(row, Name), index(row, Name));
}

void CardTable::setLastDayNow(int row, const QDate &day)
{
    m_document.setLastDay(row, day);
    emit dataChanged(index(row, 0), index(row, Columns - 1));
    emit countsChanged();
}

void CardTable::setToday(const QDate &today)
{
    if (today == m_today)
        return;
    m_today = today;
    emit dataChanged(index(0, 0), index(qMax(0, rowCount() - 1), Columns - 1));
}

int CardTable::addNow(const CardCode &code, const QString &name, const QDate &lastDay)
{
    const int row = m_document.cardCount();
    beginInsertRows({}, row, row);
    m_document.addCard(code, name, lastDay);
    endInsertRows();
    refreshExtras();
    return row;
}

ListDocument::RemovedCard CardTable::removeNow(int row)
{
    beginRemoveRows({}, row, row);
    const ListDocument::RemovedCard removed = m_document.removeCard(row);
    endRemoveRows();
    refreshExtras();
    return removed;
}

void CardTable::insertNow(int row, const ListDocument::RemovedCard &card)
{
    beginInsertRows({}, row, row);
    m_document.insertCard(row, card);
    endInsertRows();
    refreshExtras();
}

void CardTable::setReaderHolds(const QList<DumpRecord> &held, const QDateTime &when)
{
    m_checked = true;
    m_checkedAt = when;
    m_held.clear();
    m_heldOrder = held;
    for (const DumpRecord &record : held)
        m_held.insert(codeKey(record.code), record.openingTime);
    refreshExtras();
    emit dataChanged(index(0, State), index(qMax(0, rowCount() - 1), State));
    emit headerDataChanged(Qt::Horizontal, State, State);
}

int CardTable::heldCount() const
{
    int count = 0;
    for (int row = 0; row < m_document.cardCount(); ++row)
        count += m_held.contains(codeKey(m_document.card(row).code));
    return count;
}

// The reader's cards the list does not name: rows of their own after the list's.
void CardTable::refreshExtras()
{
    QSet<quint64> listed;
    for (int row = 0; row < m_document.cardCount(); ++row)
        listed.insert(codeKey(m_document.card(row).code));
    QList<DumpRecord> extras;
    for (const DumpRecord &record : eachCodeOnce(m_heldOrder)) {
        if (!listed.contains(codeKey(record.code)))
            extras.append(record);
    }
    const int first = m_document.cardCount();
    if (!m_extras.isEmpty()) {
        beginRemoveRows({}, first, first + int(m_extras.size()) - 1);
        m_extras.clear();
        endRemoveRows();
    }
    if (!extras.isEmpty()) {
        beginInsertRows({}, first, first + int(extras.size()) - 1);
        m_extras = extras;
        endInsertRows();
    }
    emit countsChanged();
}
