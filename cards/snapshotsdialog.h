// "Pillanatképek": the kept snapshots, newest first (the chosen door's own
// before the rest), foreign or broken ones marked; one can be restored, or
// its cards saved as a new code list.
#pragma once

#include "transfer/snapshots.h"

#include <QDialog>

class QTableWidget;

class SnapshotsDialog : public QDialog
{
    Q_OBJECT

public:
    SnapshotsDialog(const QString &door, QWidget *parent);

signals:
    // The dialog has closed by then: the restore asks questions of its own.
    void restoreChosen(const QString &path, const QDateTime &taken);
    void saveAsListChosen(const QString &path);

private:
    const SnapshotInfo *chosen() const;

    QTableWidget *m_table;
    QList<SnapshotInfo> m_snapshots;
};
