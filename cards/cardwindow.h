// The card window: a caretaker's list of cards with names, edited with undo,
// checked against the reader, synced to it, and the snapshots to go back to.
// The reader's port is held only while the window talks to the reader.
#pragma once

#include "cards/cardtable.h"
#include "serial/commport.h"
#include "transfer/conversation.h"
#include "transfer/sync.h"

#include <QMainWindow>
#include <functional>

class Clock;
class QDateTime;
class Dialogs;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QSortFilterProxyModel;
class QSpinBox;
class QTableView;

class CardWindow : public QMainWindow, private ProgressView
{
    Q_OBJECT

public:
    CardWindow(Dialogs &dialogs, Clock &clock, QWidget *parent = nullptr);
    ~CardWindow() override;

    // Reads a list; a list with malformed card lines opens read only and says why.
    bool openList(const QString &path);
    CardTable &table() { return m_table; }
    QTableView *view() const { return m_view; }
    const RequestState &requests() const { return m_requests; }

public slots:
    void open();
    bool save();
    bool saveAs();
    void newCard();
    void deleteSelected();
    void adoptSelected();
    void check();
    void sync();
    void showSnapshots();
    void restoreSnapshot(const QString &path, const QDateTime &taken);
    void saveSnapshotAsList(const QString &snapshot);
    // The program is asked to end (SIGTERM, SIGHUP, SIGINT): unsaved edits are
    // kept aside, to be offered back when the list is opened again.
    void endFromOutside();
    // The session ends (the session manager asks): the same, without ending yet.
    void keepUnsavedEdits();
    // At a start without a list: the edits of a new list that was never saved.
    void offerUnsavedNewList();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createControls();
    void updateState();
    void updateWarning();   // what a sync would refuse in the list, under the table
    void refreshPorts();
    void refreshDoors();   // the named doors in the chooser, the one shown kept
    QList<int> selectedRows() const;
    bool maySaveChanges(const QString &question);
    int openingTime() const;
    void reload();
    // Whether the file on disk is still the one read, as it was; asks what to do when not. False: stop.
    bool fileStillOurs(bool forSync);
    bool saveTo(const QString &path);
    void offerUnsavedEdits(const QString &path);

    // Talks to the reader on the chosen port with a progress dialog; false
    // (and said why) when the port cannot be opened.
    bool mayWriteOver(const QString &path);
    bool withReader(const QString &what, const std::function<void(Conversation &)> &work);   // what: for the trace
    // A sync of list, or a restore (no list) of a snapshot taken then.
    SyncResult runOnReader(SyncRequest &request, const CodeList *list, const QDateTime &taken = QDateTime());
    // names: what the open list calls each card, also those taken off it.
    void reportSync(const SyncResult &result, const CodeList *list, const CodeList &names);

    void expectWork(int dumps, int records) override;
    void beginPhase(Phase phase, int totalRecords) override;
    void showBytes(int received) override;
    void showRecords(int done, qint16 nextAddress) override;

    Dialogs &m_dialogs;
    Clock &m_clock;
    CardTable m_table;
    CommPort m_port;
    RequestState m_requests;
    QProgressDialog *m_progress = nullptr;
    Phase m_phase = Phase::Reading;
    int m_phaseTotal = 0;
    bool m_busy = false;
    bool m_closeAsked = false;
    bool m_ending = false;

    QTableView *m_view = nullptr;
    QSortFilterProxyModel *m_filter = nullptr;
    QLineEdit *m_search = nullptr;
    QComboBox *m_ports = nullptr;
    QComboBox *m_door = nullptr;
    QList<Door> m_doors;   // read when the chooser is filled, not at every edit
    QSpinBox *m_time = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_warning = nullptr;
    QList<QAction *> m_editActions;
    QAction *m_save = nullptr, *m_sync = nullptr, *m_adopt = nullptr;
};
