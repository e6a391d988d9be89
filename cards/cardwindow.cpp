#include "cards/cardwindow.h"
#include "desktop/dialogs.h"
#include "desktop/portlist.h"
#include "cards/newcarddialog.h"
#include "cards/snapshotsdialog.h"
#include "cards/texts.h"
#include "serial/linetrace.h"
#include "serial/portprobe.h"
#include "serial/portmap.h"
#include "transfer/clock.h"
#include "sessions/sessions.h"
#include "transfer/listrecovery.h"
#include "transfer/readout.h"
#include "transfer/verify.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateEdit>
#include <QStyledItemDelegate>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>

namespace {

constexpr int KeepEditsEveryMs = 60 * 1000;

// Speaks for a sync in the window: the plan in the question, a new plan on the
// progress dialog. The names come from the open list, also for the cards a
// sync takes out (as the list was read) and for a restore, which has no list.
class WindowListener : public SyncListener
{
public:
    WindowListener(QWidget *window, Dialogs &dialogs, QProgressDialog *progress, const CodeList *list,
                   const CodeList &names, const QDateTime &taken, const QDate &today)
        : m_window(window), m_dialogs(dialogs), m_progress(progress), m_list(list), m_names(names), m_taken(taken),
          m_today(today)
    {
    }
    void snapshotKept(const QString &, SnapshotReason) override {}
    void showPlan(const SyncPlan &plan, int repeated) override
    {
        m_plan = Texts::planText(plan, repeated, &m_names, !m_list);
    }
    bool approve(const SyncPlan &plan) override
    {
        m_progress->hide();
        const QString question =
            m_list ? Texts::syncQuestion(plan, m_names) : Texts::restoreQuestion(m_taken, plan, m_names, m_today);
        const bool yes = m_dialogs.confirmDetailed(m_window, question, m_plan);
        m_progress->show();
        return yes;
    }
    void replan(const SyncPlan &plan, bool learned) override { m_progress->setLabelText(Texts::replanned(plan, learned)); }
    bool isDoorsReaderNow(const QString &door) override
    {
        m_progress->hide();
        const bool yes = m_dialogs.confirm(m_window, Texts::isDoorsReaderQuestion(door));
        m_progress->show();
        return yes;
    }
    bool goOnAsDoor(const QString &recognised, const QString &chosen) override
    {
        m_progress->hide();
        const bool yes = m_dialogs.confirm(m_window, Texts::goOnAsDoorQuestion(recognised, chosen));
        m_progress->show();
        return yes;
    }

private:
    QWidget *m_window;
    Dialogs &m_dialogs;
    QProgressDialog *m_progress;
    const CodeList *m_list;
    const CodeList &m_names;
    QDateTime m_taken;
    QDate m_today;
    QString m_plan;
};

// The last day's editor: named for a screen reader, and a day that had none gets one only when
// the person changed the date shown (F2 and Enter on an empty cell leave it empty).
class LastDayDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        editor->setAccessibleName(Texts::LastDayColumn);
        if (auto *dates = qobject_cast<QDateEdit *>(editor))
            connect(dates, &QDateEdit::dateChanged, editor, [editor] { editor->setProperty(Touched, true); });
        return editor;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        QStyledItemDelegate::setEditorData(editor, index);
        editor->setProperty(Touched, false);
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        if (editor->property(Touched).toBool() || !index.data(Qt::DisplayRole).toString().isEmpty())
            QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    static constexpr const char *Touched = "vivadizuzudTouched";
};

QAction *action(QWidget *owner, const QString &text, const QKeySequence &keys = {})
{
    auto *a = new QAction(text, owner);
    a->setShortcut(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    owner->addAction(a);
    return a;
}

QPushButton *button(QAction *action)
{
    auto *b = new QPushButton(action->text());
    b->setAccessibleName(action->text());
    QObject::connect(b, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::enabledChanged, b, &QPushButton::setEnabled);
    return b;
}

} // namespace

CardWindow::CardWindow(Dialogs &dialogs, Clock &clock, QWidget *parent)
    : QMainWindow(parent), m_dialogs(dialogs), m_clock(clock)
{
    setObjectName(QStringLiteral("CardWindow"));
    createControls();
    connect(&m_table, &CardTable::countsChanged, this, &CardWindow::updateState);
    // Edits not saved are kept now and then too, not only at logout: a power cut loses minutes at most.
    auto *keeper = new QTimer(this);
    connect(keeper, &QTimer::timeout, this, &CardWindow::keepUnsavedEdits);
    keeper->start(KeepEditsEveryMs);
    connect(&m_table, &CardTable::countsChanged, this, &CardWindow::updateWarning);
    connect(&m_table.undoStack(), &QUndoStack::cleanChanged, this, &CardWindow::updateState);
    connect(&m_table.undoStack(), &QUndoStack::indexChanged, this, &CardWindow::updateState);
    m_table.document().clear();
    updateState();
    resize(720, 560);
}

CardWindow::~CardWindow()
{
    // The undo stack goes after the window's widgets and says so as it goes: nobody is listening by then.
    m_table.undoStack().disconnect(this);
    m_table.disconnect(this);
}

void CardWindow::createControls()
{
    QAction *openAction = action(this, Texts::OpenAction, QKeySequence::Open);
    m_save = action(this, Texts::SaveAction, QKeySequence::Save);
    QAction *saveAsAction = action(this, Texts::SaveAsAction, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    QAction *newAction = action(this, Texts::NewCardAction, QKeySequence::New);
    QAction *deleteAction = action(this, Texts::DeleteAction, QKeySequence::Delete);
    QAction *undo = m_table.undoStack().createUndoAction(this, Texts::UndoAction);
    QAction *redo = m_table.undoStack().createRedoAction(this, Texts::RedoAction);
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    for (QAction *a : {undo, redo})
        addAction(a);
    QAction *checkAction = action(this, Texts::CheckAction, QKeySequence(Qt::Key_F5));
    m_sync = action(this, Texts::SyncAction, QKeySequence(Qt::Key_F9));
    m_adopt = action(this, Texts::AdoptAction);
    QAction *snapshotsAction = action(this, Texts::SnapshotsAction);
    QAction *find = action(this, Texts::SearchName, QKeySequence::Find);
    m_editActions = {newAction, deleteAction};

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    // A row of tool buttons rather than a tool bar: the same buttons, and the
    // window need not load the bar's overflow arrow (an image) before the list shows.
    auto *listTools = new QHBoxLayout;
    for (QAction *a : {openAction, m_save, saveAsAction, newAction, deleteAction, undo, redo}) {
        auto *b = new QToolButton(central);
        b->setDefaultAction(a);
        b->setAutoRaise(true);
        listTools->addWidget(b);
    }
    listTools->addStretch(1);
    layout->addLayout(listTools);
    m_search = new QLineEdit(central);
    m_search->setPlaceholderText(Texts::SearchHint);
    m_search->setAccessibleName(Texts::SearchName);
    layout->addWidget(m_search);

    m_filter = new QSortFilterProxyModel(this);
    m_filter->setSourceModel(&m_table);
    m_filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_filter->setFilterKeyColumn(-1);   // name or code
    m_view = new QTableView(central);
    m_view->setModel(m_filter);
    m_view->setAccessibleName(Texts::TableName);
    m_view->setItemDelegateForColumn(CardTable::LastDay, new LastDayDelegate(m_view));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                            | QAbstractItemView::SelectedClicked);
    m_view->setTabKeyNavigation(false);   // Tab leaves the table for the next control
    // Widths from what the columns can hold, not from measuring every row: a full list opens at once.
    QHeaderView *columns = m_view->horizontalHeader();
    columns->setSectionResizeMode(CardTable::Name, QHeaderView::Stretch);
    const QFontMetrics metrics = m_view->fontMetrics();
    columns->resizeSection(CardTable::Code, metrics.horizontalAdvance(QStringLiteral("DDDDDDDDDDDD")) + 12);
    columns->resizeSection(CardTable::LastDay, metrics.horizontalAdvance(Texts::lastDayCell(QDate(2000, 12, 28), true)) + 16);
    columns->resizeSection(CardTable::State, metrics.horizontalAdvance(Texts::onlyInReader(127)) + 16);
    m_view->verticalHeader()->hide();   // the row numbers of a filtered table would say nothing
    m_view->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    m_view->setWordWrap(false);
    layout->addWidget(m_view, 1);
    // What a sync would refuse in the list, said as soon as it opens.
    m_warning = new QLabel(central);
    m_warning->setWordWrap(true);
    m_warning->setAccessibleName(Texts::WarningName);
    m_warning->hide();
    layout->addWidget(m_warning);

    auto *reader = new QHBoxLayout;
    auto *portLabel = new QLabel(Texts::PortLabel, central);
    auto *ports = new PortList(central);
    m_ports = ports;
    m_ports->setAccessibleName(Texts::PortLabel.chopped(1));
    portLabel->setBuddy(m_ports);
    auto *timeLabel = new QLabel(Texts::TimeLabel, central);
    m_time = new QSpinBox(central);
    m_time->setRange(0, MaxOpeningTime);
    m_time->setSpecialValueText(Texts::TimeUnset);
    m_time->setAccessibleName(Texts::TimeLabel.chopped(1));
    timeLabel->setBuddy(m_time);
    auto *doorLabel = new QLabel(Texts::DoorLabel, central);
    m_door = new QComboBox(central);
    m_door->setEditable(true);   // a new door is named here at its first sync
    m_door->lineEdit()->setMaxLength(DoorNameMax);
    m_door->setInsertPolicy(QComboBox::NoInsert);
    m_door->setAccessibleName(Texts::DoorLabel.chopped(1));
    m_door->setMinimumContentsLength(12);
    doorLabel->setBuddy(m_door);
    QWidget::setTabOrder(m_door, m_ports);   // Tab goes as the row reads: door, port, opening time
    QWidget::setTabOrder(m_ports, m_time);
    reader->addWidget(doorLabel);
    reader->addWidget(m_door);
    reader->addWidget(portLabel);
    reader->addWidget(m_ports);
    reader->addWidget(timeLabel);
    reader->addWidget(m_time);
    reader->addStretch(1);
    for (QAction *a : {checkAction, m_sync, m_adopt, snapshotsAction})
        reader->addWidget(button(a));
    layout->addLayout(reader);
    // The count is a line of its own under the reader's row; a status bar would add little but start-up time.
    m_status = new QLabel(central);
    m_status->setAccessibleName(Texts::CountName);
    layout->addWidget(m_status);
    setCentralWidget(central);

    connect(openAction, &QAction::triggered, this, &CardWindow::open);
    connect(m_save, &QAction::triggered, this, &CardWindow::save);
    connect(saveAsAction, &QAction::triggered, this, &CardWindow::saveAs);
    connect(newAction, &QAction::triggered, this, &CardWindow::newCard);
    connect(deleteAction, &QAction::triggered, this, &CardWindow::deleteSelected);
    connect(m_adopt, &QAction::triggered, this, &CardWindow::adoptSelected);
    connect(checkAction, &QAction::triggered, this, &CardWindow::check);
    connect(m_sync, &QAction::triggered, this, &CardWindow::sync);
    connect(snapshotsAction, &QAction::triggered, this, &CardWindow::showSnapshots);
    connect(find, &QAction::triggered, m_search, [this] { m_search->setFocus(); m_search->selectAll(); });
    connect(m_search, &QLineEdit::textChanged, m_filter, &QSortFilterProxyModel::setFilterFixedString);
    connect(ports, &PortList::aboutToShowPopup, this, &CardWindow::refreshPorts);
    // What the table says a reader holds was said of the reader on the port and door chosen then.
    connect(m_ports, &QComboBox::activated, this, [this] {
        savePortName(m_ports->currentText());
        m_table.forgetReader();
    });
    // A door remembers its port: choosing it picks that port, when the port is there.
    connect(m_door, &QComboBox::activated, this, [this] {
        for (const Door &door : std::as_const(m_doors)) {
            if (door.name == m_door->currentText() && m_ports->findText(QString::number(door.port)) >= 0)
                m_ports->setCurrentIndex(m_ports->findText(QString::number(door.port)));
        }
        m_table.forgetReader();
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CardWindow::updateState);
    // The ports and doors are looked at once the list has been shown: the window need not wait for them.
    m_view->viewport()->installEventFilter(this);
}

void CardWindow::changeEvent(QEvent *event)
{
    // Back in the window after another program (the command line, say) synced a door: its line is true again.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_busy && m_door->count() > 0)
        refreshDoors();
    QMainWindow::changeEvent(event);
}

bool CardWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && watched == m_view->viewport()) {
        watched->removeEventFilter(this);
        QMetaObject::invokeMethod(this, &CardWindow::refreshPorts, Qt::QueuedConnection);
        QMetaObject::invokeMethod(this, &CardWindow::refreshDoors, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void CardWindow::refreshDoors()
{
    const QString shown = m_door->currentText();
    m_door->clear();
    m_door->addItem(QString());   // no name: whichever reader is on the cable
    m_doors = knownDoors();
    for (const Door &door : std::as_const(m_doors))
        m_door->addItem(door.name);
    m_door->setCurrentText(shown);
    updateWarning();
}

void CardWindow::refreshPorts()
{
    const QString shown = m_ports->currentText();
    const QStringList free = scanFreePorts(m_port.isOpen() ? m_port.portNumber() : 0);
    m_ports->clear();
    m_ports->addItems(free);
    const int keep = m_ports->findText(shown);
    m_ports->setCurrentIndex(keep >= 0 ? keep : startupEntry(free, savedPortName()));
}

void CardWindow::updateState()
{
    ListDocument &document = m_table.document();
    const bool editable = !document.isReadOnly() && !m_busy;
    for (QAction *a : std::as_const(m_editActions))
        a->setEnabled(editable);
    m_save->setEnabled(editable && m_table.isUnsaved());
    m_sync->setEnabled(!document.isReadOnly());
    bool extraSelected = false;
    for (int row : selectedRows())
        extraSelected |= m_table.isExtra(row);
    m_adopt->setEnabled(editable && extraSelected);
    const QString count = Texts::cardCount(document.cardCount(), m_table.heldCount(), m_table.isChecked());
    m_status->setText(count);
    m_status->setAccessibleDescription(count);   // read out with its name
    setWindowTitle(Texts::windowTitle(document.path(), m_table.isUnsaved()));
}

void CardWindow::updateWarning()
{
    const QDate today = m_clock.today();
    m_table.setToday(today);
    const ListDocument &document = m_table.document();
    const CodeList list = document.codeList();
    const QString path = QFileInfo(document.path()).absoluteFilePath();
    QStringList lines{Texts::listWarning(list), Texts::expiryNotes(list, today, lastSyncOfList(path)),
                      Texts::doorsNote(m_doors, path, document.stamp().hash, list, today)};
    lines.removeAll(QString());
    const QString warning = lines.join(QLatin1Char('\n'));
    m_warning->setText(warning);
    m_warning->setAccessibleDescription(warning);   // a screen reader reads the line, not only its name
    m_warning->setVisible(!warning.isEmpty());
}

QList<int> CardWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows.append(m_filter->mapToSource(index).row());
    if (rows.isEmpty() && m_view->currentIndex().isValid())   // Delete on the row the cursor stands on
        rows.append(m_filter->mapToSource(m_view->currentIndex()).row());
    return rows;
}

bool CardWindow::openList(const QString &path)
{
    ListDocument &document = m_table.document();
    m_dialogs.startIn(QFileInfo(path).absolutePath());   // Mentés másként… opens beside the list
    if (!isFaithfulFileName(path)) {
        m_dialogs.message(this, Texts::codeListUnreadable(path, FileFault::BadName));
        return false;
    }
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 && errno == ENOENT) {
        // A mistyped name is not an empty list: asked, never assumed.
        switch (m_dialogs.ask(this, Texts::listMissing(path), {Texts::NewListHere, Texts::OtherFile})) {
        case 0: document.clear(path); break;
        case 1: open(); return false;
        default: return false;
        }
    } else if (const FileFault fault = document.load(path); fault != FileFault::None) {
        document.clear();
        m_table.reset();
        updateState();
        m_dialogs.message(this, Texts::codeListUnreadable(path, fault));
        return false;
    }
    m_table.reset();
    offerUnsavedEdits(path);
    updateState();
    if (document.isReadOnly())
        m_dialogs.message(this, Texts::readOnlyList(path, document.judged()));
    return true;
}

void CardWindow::offerUnsavedEdits(const QString &path)
{
    const std::optional<UnsavedEdits> edits = findUnsavedEdits(path);
    if (!edits)
        return;
    switch (m_dialogs.ask(this, Texts::unsavedEditsFound(path, edits->kept),
                          {Texts::TakeEditsAnswer, Texts::DropEditsAnswer})) {
    case 0:
        m_table.document().loadBytes(path, edits->stamp, edits->bytes);
        m_table.reset();
        m_table.undoStack().resetClean();   // unsaved until saved, and kept until then
        break;
    case 1: dropUnsavedEdits(path); break;
    default: break;   // kept for the next time
    }
}

void CardWindow::offerUnsavedNewList()
{
    if (findUnsavedEdits(QString()))
        offerUnsavedEdits(QString());
    else
        open();
    updateState();
}

void CardWindow::reload()
{
    const QString path = m_table.document().path();
    if (const FileFault fault = m_table.document().load(path); fault != FileFault::None)
        m_dialogs.message(this, Texts::codeListUnreadable(path, fault));
    m_table.reset();
    refreshDoors();   // and the line under the table with them
    updateState();
}

void CardWindow::open()
{
    if (!maySaveChanges(Texts::saveBeforeClosing()))
        return;
    const QString path = m_dialogs.openFileName(this, Texts::ListFilter);
    if (!path.isEmpty())
        openList(path);
}

bool CardWindow::fileStillOurs(bool forSync)
{
    ListDocument &document = m_table.document();
    const QString path = document.path();
    switch (document.diskChange()) {
    case DiskChange::Same:
    case DiskChange::Unreadable:   // the save itself says why
        return true;
    case DiskChange::Changed:
        if (forSync && !m_table.isUnsaved()) {   // nothing to lose: the file as it is now, shown first
            reload();
            m_dialogs.message(this, Texts::reloadedBeforeSync(path));
            return false;
        }
        switch (m_dialogs.ask(this, Texts::changedOnDisk(path, false),
                              {Texts::ReloadAnswer, Texts::SaveAsAction, Texts::OverwriteAnswer})) {
        case 0: reload(); return false;
        case 1: saveAs(); return false;
        case 2: return document.takeDiskAsRead();
        default: return false;
        }
    case DiskChange::Gone:
        switch (m_dialogs.ask(this, Texts::changedOnDisk(path, true), {Texts::SaveAgainAnswer, Texts::SaveAsAction})) {
        case 0: return document.takeDiskAsRead() && (!forSync || saveTo(path));   // a sync sends what is in the file
        case 1: saveAs(); return false;
        default: return false;
        }
    case DiskChange::Elsewhere:
        switch (m_dialogs.ask(this, Texts::nameLeadsElsewhere(path), {Texts::SaveAsAction, Texts::ReloadAnswer})) {
        case 0: saveAs(); return false;
        case 1: reload(); return false;
        default: return false;
        }
    }
    return false;
}

bool CardWindow::save()
{
    ListDocument &document = m_table.document();
    if (document.path().isEmpty())
        return saveAs();
    if (!fileStillOurs(false))
        return false;
    return saveTo(document.path());
}

bool CardWindow::saveAs()
{
    const QString path = m_dialogs.saveFileName(this, Texts::ListFilter);
    return !path.isEmpty() && mayWriteOver(path) && saveTo(path);
}

bool CardWindow::saveTo(const QString &path)
{
    ListDocument &document = m_table.document();
    QString keptCopy;
    const FileFault fault = path == document.path() ? document.save(&keptCopy) : document.saveAs(path, &keptCopy);
    if (fault == FileFault::WriteProtected || fault == FileFault::Replaced || fault == FileFault::Link) {
        const QString why = fault == FileFault::Link ? Texts::listOnLink(path, QFileInfo(path).symLinkTarget())
                                                     : Texts::listUnsaved(path, fault);
        if (m_dialogs.ask(this, why, {Texts::SaveAsAction}) == 0)
            return saveAs();
        return false;
    }
    if (fault != FileFault::None) {
        m_dialogs.message(this, Texts::listUnsaved(path, fault, keptCopy));
        return false;
    }
    m_table.undoStack().setClean();
    dropUnsavedEdits(path);
    updateWarning();   // the doors that hold this list as it is saved now
    updateState();
    return true;
}

// Yes saves, No goes on without, Cancel stays.
bool CardWindow::maySaveChanges(const QString &question)
{
    if (!m_table.isUnsaved())
        return true;
    switch (m_dialogs.choose(this, question)) {
    case Dialogs::Choice::Yes: return save();
    case Dialogs::Choice::No:
        dropUnsavedEdits(m_table.document().path());   // let go of on purpose: not offered again
        return true;
    case Dialogs::Choice::Cancel: break;
    }
    return false;
}

void CardWindow::newCard()
{
    NewCardDialog dialog(m_table.document(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_table.add(dialog.code(), dialog.name(), dialog.lastDay());
}

void CardWindow::deleteSelected()
{
    QList<int> rows = selectedRows();
    if (m_view->currentIndex().column() == CardTable::LastDay) {   // Delete in the day's column clears the day
        m_table.setLastDay(rows, QDate());
        return;
    }
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int row) { return m_table.isExtra(row); }), rows.end());
    if (!rows.isEmpty() && m_dialogs.confirm(this, Texts::deleteQuestion(int(rows.size()))))
        m_table.remove(rows);
}

void CardWindow::adoptSelected()
{
    QList<CardCode> codes;
    for (int row : selectedRows()) {
        if (m_table.isExtra(row))
            codes.append(m_table.codeAt(row));
    }
    if (!codes.isEmpty())
        m_table.adopt(codes);
}

int CardWindow::openingTime() const
{
    return m_time->value();
}

bool CardWindow::withReader(const QString &what, const std::function<void(Conversation &)> &work)
{
    if (m_busy)
        return false;
    LineTrace::beginOperation(what);
    if (m_ports->count() == 0)
        refreshPorts();
    const int number = m_ports->currentText().toInt();
    if (number < FirstPortNumber) {
        m_dialogs.message(this, Texts::noPortChosen());
        return false;
    }
    if (!m_port.openReaderLine(number)) {
        QString text = m_port.lineLost() ? Texts::lineLost(number)
                                         : Texts::portOpenFailed(number, m_port.devicePath(), m_port.openFault());
        if (const PortProbe probe = probeDevice(m_port.devicePath()); probe.state == PortState::Held)
            text += QLatin1Char('\n') + Texts::heldBy(probe.holders);
        m_dialogs.message(this, text);
        return false;
    }
    const QScopedValueRollback busy(m_busy, true);
    updateState();
    QProgressDialog progress(QString(), Texts::CancelAction, 0, DumpLength, this);
    progress.setWindowTitle(Texts::CardsTitle);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    connect(&progress, &QProgressDialog::canceled, this, [this] { m_clock.requestStop(); });
    m_progress = &progress;
    progress.show();
    Conversation conversation{m_port, m_clock, *this, m_requests};
    work(conversation);
    m_progress = nullptr;
    m_port.close();   // held only while talking to the reader
    progress.hide();
    if (!m_ending)
        m_clock.clearStop();
    if (m_closeAsked)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    return true;
}

// The reader against the cards of the list as it stands that are valid today, as the command
// line's verify does: a card past its last day should be out, and is named when it is not.
void CardWindow::check()
{
    const CodeList list = m_table.document().codeList();
    VerifyResult result;
    if (!withReader(Texts::CheckAction, [&](Conversation &c) { result = verifySession(c, list, std::nullopt); }))
        return;
    if (result.problem != ListProblem::None) {
        m_dialogs.message(this, Texts::listProblem(m_table.document().path(), list, result.problem, ListUse::Verify));
    } else if (result.dumpOutcome == DumpOutcome::Done) {
        m_table.setReaderHolds(result.held, QDateTime::currentDateTime());
        m_dialogs.message(this, Texts::checkResult(result, list, true));
    } else if (result.dumpOutcome != DumpOutcome::Interrupted) {
        m_dialogs.message(this, Texts::readFailed(result.dumpOutcome, m_port.portNumber()));
    }
    updateState();
}

void CardWindow::sync()
{
    ListDocument &document = m_table.document();
    if (document.isReadOnly()) {
        m_dialogs.message(this, Texts::readOnlyList(document.path(), document.judged()));
        return;
    }
    CodeList list;
    if (m_table.isUnsaved() || document.path().isEmpty()) {
        // The reader gets what is in the file: the edits go there first, or the file is synced as it is.
        const Dialogs::Choice choice = m_dialogs.choose(this, Texts::saveBeforeSync());
        if (choice == Dialogs::Choice::Yes) {
            if (!save())
                return;
            list = document.codeList();
        } else if (choice == Dialogs::Choice::No && document.stamp().isValid()
                   && document.diskChange() == DiskChange::Same) {
            ListDocument onDisk;
            onDisk.load(document.path());
            list = onDisk.codeList();
        } else {
            return;
        }
    } else {
        if (!fileStillOurs(true))
            return;
        list = document.codeList();
    }
    if (openingTime() < MinOpeningTime) {
        m_dialogs.message(this, Texts::setOpeningTimeFirst());
        return;
    }
    if (const ListProblem problem = listProblem(list, ListUse::Sync, ReaderCapacity); problem != ListProblem::None) {
        m_dialogs.message(this, Texts::listProblem(document.path(), list, problem, ListUse::Sync));
        return;
    }
    SyncRequest request;
    request.list = &list;
    request.openingTime = openingTime();
    request.listPath = QFileInfo(document.path()).absoluteFilePath();
    request.listHash = document.stamp().hash;   // the file as saved: it equals what is synced
    runOnReader(request, &list);
}

SyncResult CardWindow::runOnReader(SyncRequest &request, const CodeList *list, const QDateTime &taken)
{
    SyncResult result;
    request.door = m_door->currentText().trimmed();
    if (!request.door.isEmpty() && !isDoorName(request.door)) {
        m_dialogs.message(this, Texts::badDoorName());
        return result;
    }
    // The list's own names first, then those of cards taken off it since it was read.
    const ListDocument &document = m_table.document();
    CodeList names = list ? *list : document.codeList();
    for (ListedCard card : document.judged().cards) {   // for their names only: gone from the list, not expired
        card.lastDay = QDate();
        names.cards.append(card);
    }
    if (!withReader(list ? Texts::SyncAction : Texts::RestoreAction, [&](Conversation &c) {
            request.portNumber = m_port.portNumber();
            WindowListener listener(this, m_dialogs, m_progress, list, names, taken, m_clock.today());
            result = syncSession(c, request, listener);
        }))
        return result;
    // Only a read-back says what the reader holds; after a stop on the way nobody knows.
    if (!result.held.isEmpty() || result.outcome == SyncResult::Done)
        m_table.setReaderHolds(result.held, QDateTime::currentDateTime());
    else if (result.written() || result.lastUncertain)
        m_table.forgetReader();
    reportSync(result, list, names);
    refreshDoors();   // and the line under the table with them
    if (!result.reader.now.door.isEmpty())
        m_door->setCurrentText(result.reader.now.door);   // the door it turned out to be
    updateState();
    return result;
}

void CardWindow::reportSync(const SyncResult &result, const CodeList *list, const CodeList &names)
{
    // The person's own stop before anything was written needs no word.
    if (result.outcome == SyncResult::Interrupted && !result.allWritten && !result.written() && !result.lastUncertain)
        return;
    Texts::SyncWording wording;
    wording.restore = !list;
    wording.file = list ? m_table.document().path() : QString();
    wording.portNumber = m_port.portNumber();
    wording.door = m_door->currentText().trimmed();   // the door chosen, as the question named it
    wording.retry = wording.finish = Texts::stopAdviceInWindow(wording.restore);
    wording.seeReader = Texts::SeeReaderByCheck;
    wording.listLines = false;   // the lines may have moved since the list was read
    const Texts::SyncOutcomeText text = Texts::syncOutcome(result, &names, wording);
    m_dialogs.message(this, text.details.isEmpty() ? text.said : text.said + QLatin1Char('\n') + text.details);
}

void CardWindow::showSnapshots()
{
    SnapshotsDialog dialog(m_door->currentText().trimmed(), this);
    connect(&dialog, &SnapshotsDialog::restoreChosen, this, &CardWindow::restoreSnapshot, Qt::QueuedConnection);
    connect(&dialog, &SnapshotsDialog::saveAsListChosen, this, &CardWindow::saveSnapshotAsList);
    dialog.exec();
}

void CardWindow::restoreSnapshot(const QString &path, const QDateTime &taken)
{
    SyncRequest request;
    if (const FileFault fault = loadSnapshot(path, request.snapshot); fault != FileFault::None) {
        m_dialogs.message(this, Texts::snapshotUnusable(path, fault));
        return;
    }
    if (const ListProblem problem = snapshotProblem(request.snapshot); problem != ListProblem::None) {
        m_dialogs.message(this, Texts::snapshotUnfit(path, problem));
        return;
    }
    const QString chosen = m_door->currentText().trimmed();
    if (const QString door = restoreDoor(path, chosen); door != chosen)
        m_door->setCurrentText(door);
    runOnReader(request, nullptr, taken);
}

void CardWindow::saveSnapshotAsList(const QString &snapshot)
{
    QByteArray dump;
    if (const FileFault fault = loadSnapshot(snapshot, dump); fault != FileFault::None) {
        m_dialogs.message(this, Texts::snapshotUnusable(snapshot, fault));
        return;
    }
    const QString path = m_dialogs.saveFileName(this, Texts::ListFilter);
    if (path.isEmpty() || !mayWriteOver(path))
        return;
    // The file dialog has asked before a file of that name is replaced; the
    // cards the open list knows keep their names.
    ListDocument list;
    list.loadBytes(QString(), FileStamp(), headerLine() + "\r\n");
    const ListDocument &open = m_table.document();
    const QList<DumpRecord> records = validRecords(dump);
    for (const DumpRecord &record : records) {
        const std::optional<int> known = open.find(record.code);
        list.addCard(record.code, known ? open.card(*known).name : QString());
    }
    QString keptCopy;
    const FileFault fault = list.saveAs(path, &keptCopy);
    m_dialogs.message(this, fault == FileFault::None ? Texts::savedAsList(int(records.size()), path)
                          : fault == FileFault::Link ? Texts::listOnLink(path, QFileInfo(path).symLinkTarget())
                                                     : Texts::listUnsaved(path, fault, keptCopy));
}

// The file dialog asked whether to replace a file of that name; a file of another user's (in a
// folder others share) is named as such and asked about once more.
bool CardWindow::mayWriteOver(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid == ::geteuid())
        return true;
    const struct passwd *owner = ::getpwuid(info.st_uid);
    return m_dialogs.confirm(this, Texts::othersFile(path, owner ? QString::fromLocal8Bit(owner->pw_name)
                                                                 : QString::number(info.st_uid)));
}

void CardWindow::keepUnsavedEdits()
{
    if (m_table.isUnsaved())
        ::keepUnsavedEdits(m_table.document());
}

void CardWindow::endFromOutside()
{
    // A transfer stops at its next pause; the window goes as by its close box,
    // and edits not saved wait for the next start on this list.
    m_ending = true;
    m_clock.requestStop();
    keepUnsavedEdits();
    QCoreApplication::exit(0);
}

void CardWindow::closeEvent(QCloseEvent *event)
{
    if (m_busy) {   // held until the reader is let go, as the main window holds it
        m_closeAsked = true;
        event->ignore();
        return;
    }
    m_closeAsked = false;
    if (!m_ending && !maySaveChanges(Texts::saveBeforeClosing())) {
        event->ignore();
        return;
    }
    event->accept();
}

void CardWindow::expectWork(int, int)
{
}

void CardWindow::beginPhase(Phase phase, int totalRecords)
{
    m_phase = phase;
    m_phaseTotal = readsDump(phase) ? DumpLength : totalRecords;
    if (!m_progress)
        return;
    m_progress->setMaximum(qMax(1, m_phaseTotal));
    m_progress->setValue(0);
    m_progress->setLabelText(Texts::phaseText(int(phase), 0, m_phaseTotal));
}

void CardWindow::showBytes(int received)
{
    if (m_progress)
        m_progress->setValue(qMin(received, m_phaseTotal));
}

void CardWindow::showRecords(int done, qint16)
{
    if (!m_progress)
        return;
    m_progress->setValue(qMin(done, m_phaseTotal));
    m_progress->setLabelText(Texts::phaseText(int(m_phase), done, m_phaseTotal));
}
