#include "cards/snapshotsdialog.h"
#include "cards/texts.h"
#include "sessions/sessions.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

SnapshotsDialog::SnapshotsDialog(const QString &door, QWidget *parent)
    : QDialog(parent), m_table(new QTableWidget(this))
{
    setWindowTitle(Texts::SnapshotsTable);
    const SnapshotListing listing = snapshotsKept(door);
    m_snapshots = listing.snapshots;
    auto *layout = new QVBoxLayout(this);
    if (listing.fault != FileFault::None)
        layout->addWidget(new QLabel(Texts::snapshotNotKept(snapshotsFolder(), listing.fault), this));
    m_table->setAccessibleName(Texts::SnapshotsTable);
    m_table->setColumnCount(int(Texts::SnapshotColumns.size()));
    m_table->setHorizontalHeaderLabels(Texts::SnapshotColumns);
    m_table->setRowCount(int(m_snapshots.size()));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    for (int row = 0; row < m_snapshots.size(); ++row) {
        const SnapshotInfo &info = m_snapshots[row];
        const QStringList cells{info.taken.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                QString::number(info.port),
                                info.door,
                                info.cards >= 0 ? QString::number(info.cards) : QStringLiteral("?"),
                                Texts::snapshotRow(info)};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells[column]);
            item->setToolTip(info.path);
            m_table->setItem(row, column, item);
        }
    }
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->resizeColumnsToContents();
    if (!m_snapshots.isEmpty())
        m_table->selectRow(0);
    layout->addWidget(m_table);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *restore = buttons->addButton(Texts::RestoreAction, QDialogButtonBox::ActionRole);
    QPushButton *asList = buttons->addButton(Texts::SaveAsListAction, QDialogButtonBox::ActionRole);
    buttons->addButton(Texts::CloseAction, QDialogButtonBox::RejectRole);
    for (QPushButton *b : {restore, asList})
        b->setEnabled(!m_snapshots.isEmpty());
    layout->addWidget(buttons);
    connect(restore, &QPushButton::clicked, this, [this] {
        if (const SnapshotInfo *info = chosen()) {
            const SnapshotInfo snapshot = *info;
            accept();
            emit restoreChosen(snapshot.path, snapshot.taken);
        }
    });
    connect(asList, &QPushButton::clicked, this, [this] {
        if (const SnapshotInfo *info = chosen())
            emit saveAsListChosen(info->path);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(640, 360);
}

const SnapshotInfo *SnapshotsDialog::chosen() const
{
    const int row = m_table->currentRow();
    return row >= 0 && row < m_snapshots.size() ? &m_snapshots[row] : nullptr;
}
