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

public slots:
    void open();
    bool save();
    void newCard();
    void deleteSelected();
    void adoptSelected();
    void check();
    void sync();
    void showSnapshots();
    void restoreSnapshot(const QString &path);
    void saveSnapshotAsList(const QString &snapshot);
    // The program is asked to end (SIGTERM, SIGHUP, SIGINT).
    void endFromOutside();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void updateState();
    void refreshPorts();
    QList<int> selectedRows() const;
    bool maySaveChanges(const QString &question);
    int openingTime() const;

    // Talks to the reader on the chosen port with a progress dialog; false
    // (and said why) when the port cannot be opened.
    bool withReader(const std::function<void(Conversation &)> &work);
    SyncResult runOnReader(SyncRequest &request, const CodeList *list);
    void reportSync(const SyncResult &result, const CodeList *list);

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
    QSpinBox *m_time = nullptr;
    QLabel *m_status = nullptr;
    QList<QAction *> m_editActions;
    QAction *m_save = nullptr, *m_sync = nullptr, *m_adopt = nullptr;
};
