// "Pillanatképek": the kept snapshots, newest first, foreign or broken ones
// marked; one can be restored, or its cards saved as a new code list.
#pragma once

#include "transfer/snapshots.h"

#include <QDialog>

class CardWindow;
class QTableWidget;

class SnapshotsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SnapshotsDialog(CardWindow &window);

private:
    QString chosen() const;

    CardWindow &m_window;
    QTableWidget *m_table;
    QList<SnapshotInfo> m_snapshots;
};
