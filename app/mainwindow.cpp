#include "app/mainwindow.h"
#include "desktop/busyguard.h"
#include "app/decorations.h"
#include "desktop/dialogs.h"
#include "app/singleinstance.h"
#include "desktop/stopsignals.h"
#include "app/texts.h"
#include "serial/portprobe.h"
#include "serial/portmap.h"
#include "serial/linetrace.h"
#include "sessions/sessions.h"
#include "transfer/clock.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>

namespace {

// Positions and sizes in twips (1/1440 inch), from the top-left of the container.
struct Placement {
    const char *name;
    int left, top, width, height;
};
constexpr Placement Layout[] = {
    {"Combo2", 3600, 2280, 735, 315},     {"Text4", 120, 840, 3915, 255},
    {"Text3", 5160, 840, 855, 285},       {"Command19", 5220, 2280, 855, 360},
    {"ProgressBar1", 0, 0, 6195, 180},    {"Frame1", 120, 1185, 5955, 855},
    {"Command1", 3240, 360, 2535, 330},   {"Command6", 180, 360, 2775, 330},
    {"Label5", 3360, 405, 2505, 345},     {"Label4", 270, 405, 2745, 345},
    {"Combo1", 5340, 300, 615, 360},      {"Label2", 1680, 2280, 1815, 315},
    {"Label27", 120, 480, 1815, 315},     {"Label12", 5385, 315, 630, 420},
    {"Label11", 5280, 2340, 870, 360},    {"Label9", 240, 1260, 5895, 855},
    {"Label1", 4560, 300, 735, 255},
};
constexpr int ClientWidth = 6195;
constexpr int ClientHeight = 2820;

const QColor White(255, 255, 255), Black(0, 0, 0), LightGrey(224, 224, 224), Blue(0, 0, 255),
    LightCyan(128, 255, 255), Cyan(0, 255, 255), Grey(128, 128, 128), Teal(0, 128, 128);

const QString SansSerif = QStringLiteral("MS Sans Serif");
const QString Arial = QStringLiteral("Arial");

template<typename T>
T *make(const char *name, QWidget *parent)
{
    T *widget = new T(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

void applyFont(QWidget *widget, const QString &family, qreal points, bool bold = false)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    widget->setFont(font);
}

void setColours(QWidget *widget, const QColor &background, const QColor &text = QColor())
{
    QPalette palette = widget->palette();
    if (background.isValid()) {
        palette.setColor(QPalette::Window, background);
        widget->setAutoFillBackground(true);
    }
    if (text.isValid()) {
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            palette.setColor(role, text);
    }
    widget->setPalette(palette);
}

// The number at the start of a text ("7" of "7", 0 for none).
int leadingNumber(const QString &text)
{
    int value = 0;
    for (QChar c : text) {
        if (!c.isDigit() || value > LastPortNumber)
            break;
        value = value * 10 + c.digitValue();
    }
    return value;
}

// The opening time as typed or picked: only a whole number 1..127 counts.
int openingTimeFrom(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value >= MinOpeningTime && value <= MaxOpeningTime ? value : 0;
}

} // namespace

MainWindow::MainWindow(Dialogs &dialogs, Clock &clock, QWidget *parent)
    : QWidget(parent), m_dialogs(dialogs), m_clock(clock)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Texts::WindowTitle);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // The window's faces are not on Linux; Liberation Sans has their metrics.
    QFont::insertSubstitution(SansSerif, QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(Arial, QStringLiteral("Liberation Sans"));
    applyFont(this, SansSerif, 8);
    setColours(this, White);
    setFixedSize(px(ClientWidth), px(ClientHeight));

    createControls();
    styleControls();
    connect(&m_port, &CommPort::lineFailed, this, &MainWindow::onLineFailed);
}

MainWindow::~MainWindow() = default;

int MainWindow::px(int twips) const
{
    return qRound(twips * logicalDpiX() / 1440.0);
}

void MainWindow::createControls()
{
    m_openingTimes = make<QComboBox>("Combo2", this);
    m_filePath = make<QLineEdit>("Text4", this);
    m_figure = make<QLineEdit>("Text3", this);
    m_exitButton = make<QPushButton>("Command19", this);
    m_progressBar = make<QProgressBar>("ProgressBar1", this);
    m_codeMemory = make<GroupFrame>("Frame1", this);
    m_uploadButton = make<QPushButton>("Command1", m_codeMemory);
    m_readoutButton = make<QPushButton>("Command6", m_codeMemory);
    m_readoutShadow = make<QLabel>("Label5", m_codeMemory);
    m_uploadShadow = make<QLabel>("Label4", m_codeMemory);
    m_ports = make<PortList>("Combo1", this);
    m_openingTimeCaption = make<QLabel>("Label2", this);
    m_fileCaption = make<QLabel>("Label27", this);
    m_cornerShadow = make<QLabel>("Label12", this);
    m_footShadow = make<QLabel>("Label11", this);
    m_frameShadow = make<QLabel>("Label9", this);
    m_portCaption = make<QLabel>("Label1", this);

    for (const Placement &p : Layout) {
        QWidget *widget = findChild<QWidget *>(QLatin1String(p.name));
        widget->setGeometry(px(p.left), px(p.top), px(p.width), px(p.height));
    }
    // Labels lie beneath everything else in their container, shadows included.
    for (QLabel *label : findChildren<QLabel *>())
        label->lower();

    for (QComboBox *combo : {static_cast<QComboBox *>(m_ports), m_openingTimes}) {
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
    }
    for (QPushButton *button : {m_exitButton, m_uploadButton, m_readoutButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    m_progressBar->setRange(0, 100);   // an empty range would show Qt's busy animation
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    m_figure->setReadOnly(true);

    setTabOrder(m_exitButton, m_ports);
    setTabOrder(m_ports, m_readoutButton);
    setTabOrder(m_readoutButton, m_uploadButton);
    setTabOrder(m_uploadButton, m_figure);
    setTabOrder(m_figure, m_filePath);
    setTabOrder(m_filePath, m_openingTimes);

    m_filePath->installEventFilter(this);
    connect(m_exitButton, &QPushButton::clicked, this, &MainWindow::exitAsked);
    connect(m_uploadButton, &QPushButton::clicked, this, &MainWindow::upload);
    connect(m_readoutButton, &QPushButton::clicked, this, &MainWindow::readout);
    connect(m_ports, &QComboBox::activated, this, &MainWindow::portChosen);
    connect(m_ports, &PortList::aboutToShowPopup, this, &MainWindow::refreshPortList);

    // What a screen reader says: each caption names its control, the progress
    // displays have names of their own, and the shadows are not there at all.
    m_portCaption->setBuddy(m_ports);
    m_openingTimeCaption->setBuddy(m_openingTimes);
    m_fileCaption->setBuddy(m_filePath);
    m_figure->setAccessibleName(Texts::ProgressFigureName);
    m_progressBar->setAccessibleName(Texts::ProgressBarName);
    for (QLabel *shadow : {m_uploadShadow, m_readoutShadow, m_frameShadow, m_footShadow, m_cornerShadow})
        markAsDecoration(shadow);
}

void MainWindow::styleControls()
{
    m_exitButton->setText(Texts::ExitCaption);
    applyFont(m_exitButton, SansSerif, 12);
    m_codeMemory->setTitle(Texts::CodeMemoryTitle);
    applyFont(m_codeMemory, SansSerif, 12);
    setColours(m_codeMemory, LightGrey, Black);
    m_uploadButton->setText(Texts::UploadCaption);
    m_readoutButton->setText(Texts::ReadoutCaption);
    applyFont(m_uploadButton, Arial, 9.75);
    applyFont(m_readoutButton, Arial, 9.75);
    applyFont(m_ports, SansSerif, 9.75, true);
    setColours(m_ports, QColor(), Blue);
    m_openingTimeCaption->setText(Texts::OpeningTimeCaption);
    m_fileCaption->setText(Texts::FileCaption);
    for (QLabel *caption : {m_openingTimeCaption, m_fileCaption}) {
        applyFont(caption, SansSerif, 9.75);
        setColours(caption, LightCyan);
    }
    m_portCaption->setText(Texts::PortCaption);
    applyFont(m_portCaption, SansSerif, 12);
    setColours(m_portCaption, Cyan, Black);
    setColours(m_uploadShadow, Grey);
    setColours(m_readoutShadow, Grey);
    // Captions of two shadows, in the corner their controls cover.
    m_frameShadow->setText(QStringLiteral("Label9"));
    m_cornerShadow->setText(QStringLiteral("Label4"));
    for (QLabel *shadow : {m_frameShadow, m_cornerShadow, m_footShadow}) {
        shadow->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setColours(shadow, Teal);
    }
    m_filePath->setToolTip(Texts::Text4Tip);
    m_uploadButton->setToolTip(Texts::Command1Tip);
    m_readoutButton->setToolTip(Texts::Command6Tip);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_filePath && event->type() == QEvent::MouseButtonDblClick) {
        ChooseFile();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool MainWindow::start()
{
    m_instance = std::make_unique<SingleInstance>(StopSignals::pendingFd());
    if (m_instance->stopped()) {   // asked to end while it looked: nothing to say
        m_endRequested = true;
        return false;
    }
    if (!m_instance->isFirst()) {
        m_dialogs.message(this, Texts::AlreadyRunning);
        return false;
    }
    const bool anyPort = scanPorts();
    m_state.PortName = savedPortName();
    if (anyPort) {
        m_state.PortListLoading = 1;
        selectSavedPort();
        openPort(ReceiveBuffer, ReaderLine);
        m_port.clearReceiveBuffer();
    } else {
        m_dialogs.message(this, Texts::noFreePort());
    }
    for (int time = MinOpeningTime; time <= MaxOpeningTime; ++time)
        m_openingTimes->addItem(QString::number(time));
    m_openingTimes->setCurrentIndex(-1);   // the opening time starts out unset
    m_state.PortListLoading = 0;
    m_state.readerAddress = 1;
    // Asked once the window is up, so the dialog has the window to stand on.
    QMetaObject::invokeMethod(this, &MainWindow::ChooseFile, Qt::QueuedConnection);
    return true;
}

bool MainWindow::scanPorts()
{
    // The port we have open is held by us, not by another program: it stays.
    m_ports->clear();
    m_ports->addItems(scanFreePorts(m_port.isOpen() ? m_port.portNumber() : 0));
    return m_ports->count() > 0;
}

void MainWindow::refreshPortList()
{
    // Not a change of port: nothing is opened, closed or saved here.
    const QString shown = m_port.isOpen() ? m_state.PortName : m_ports->currentText();
    scanPorts();
    m_ports->setCurrentIndex(m_ports->findText(shown, Qt::MatchExactly));
}

void MainWindow::selectSavedPort()
{
    QStringList entries;
    for (int i = 0; i < m_ports->count(); ++i)
        entries.append(m_ports->itemText(i));
    const int entry = startupEntry(entries, m_state.PortName);
    m_state.PortName = entries.value(entry);
    m_ports->setCurrentIndex(entry);
}

void MainWindow::openPort(int receiveBufferSize, const QString &settings)
{
    const int number = leadingNumber(m_state.PortName);
    if (!m_port.openReaderLine(number, receiveBufferSize, settings) && !m_port.lineLost())
        m_dialogs.message(this, Texts::portOpenFailed(number, m_port.devicePath(), m_port.openFault()));
}

void MainWindow::portChosen()
{
    if (m_state.PortListLoading == 1)
        return;
    // The entry the user picked is opened on both paths: reopening the old
    // port while another is shown would talk to the wrong reader.
    const QString picked = m_ports->itemText(m_ports->currentIndex());
    const bool wasOpen = m_port.isOpen();
    m_port.close();
    m_state.PortName = picked;
    if (wasOpen)
        openPort(ReceiveBuffer, ReaderLine);
    else
        openPort(ReopenReceiveBuffer, ReopenLine);
    savePortName(m_state.PortName);
}

void MainWindow::onLineFailed()
{
    // A transfer reports a lost line itself, as its own outcome.
    if (!m_transferRunning)
        m_dialogs.message(this, Texts::lineLostInWindow(m_port.portNumber()));
}

void MainWindow::endFromOutside()
{
    // A transfer stops at its next pause and says nothing; every event loop,
    // a dialog's included, ends, and the window with them.
    m_endRequested = true;
    m_clock.requestStop();
    QCoreApplication::exit(0);
}

void MainWindow::ChooseFile()
{
    if (m_filePath->text().endsWith(QLatin1String("csv")))
        return;
    m_filePath->setText(m_dialogs.openFileName(this, Texts::FileFilter));
}

void MainWindow::exitAsked()
{
    if (m_dialogs.confirm(this, Texts::ExitQuestion))
        close();
}

void MainWindow::upload()
{
    if (m_filePath->text().right(3).toUpper() != QLatin1String("CSV"))
        ChooseFile();
    const int openingTime = openingTimeFrom(m_openingTimes->currentText());
    if (openingTime < MinOpeningTime) {
        m_dialogs.message(this, Texts::SetOpeningTime);
        return;
    }
    m_state.UploadBusy = 1;
    const QScopedValueRollback transferRunning(m_transferRunning, true);
    BusyGuard guard(this);
    const QString path = m_filePath->text();
    const CodeList list = readCodeList(path);
    LineTrace::beginOperation(Texts::UploadCaption);
    Conversation c = conversation();
    const UploadResult result = uploadSession(c, list, openingTime);
    guard.release();
    // Nothing to say of a stop: the program is ending.
    if (const QString said = Texts::uploadOutcome(result, list, m_clock.today(), wording(path)); !said.isEmpty())
        m_dialogs.message(this, said);
    m_state.UploadBusy = 0;
    clearProgress(false);
}

void MainWindow::readout()
{
    if (m_state.UploadBusy == 1)
        return;
    const QScopedValueRollback transferRunning(m_transferRunning, true);
    BusyGuard guard(this);
    const QString path = m_filePath->text();
    ReadoutResult result;
    {
        ReadoutFile file;   // a file made for a readout that did not come is gone before the message
        file.open(path);
        LineTrace::beginOperation(Texts::ReadoutCaption);
        Conversation c = conversation();
        result = readoutSession(c, file);
    }
    guard.release();
    if (result.fileFault != FileFault::None)
        clearProgress(false);
    else if (result.dump == DumpOutcome::Done)
        clearProgress(true);
    // Nothing to say of a stop: the program is ending, the file as it was.
    if (const QString said = Texts::readoutOutcome(result, wording(path)); !said.isEmpty())
        m_dialogs.message(this, said);
}

Texts::TransferWording MainWindow::wording(const QString &path) const
{
    Texts::TransferWording wording;
    wording.file = path;
    wording.lostLine = Texts::lineLostInWindow(m_port.portNumber());
    wording.noPort = Texts::noPortOpen();
    wording.noOpeningTime = Texts::SetOpeningTime;
    return wording;
}

void MainWindow::beginPhase(Phase phase, int)
{
    // A dump counts its bytes up to 20500; an upload shows the next record's address, 7392 down.
    m_progressBar->setMaximum(readsDump(phase) ? ReadoutProgressMaximum : FirstWriteAddress);
}

void MainWindow::showBytes(int received)
{
    showFigure(received);
}

void MainWindow::showRecords(int, qint16 nextAddress)
{
    showFigure(nextAddress);
}

void MainWindow::showFigure(int value)
{
    m_figure->setText(QString::number(value));
    m_figure->repaint();
    m_progressBar->setValue(qMin(value, m_progressBar->maximum()));   // above the top: full
}

void MainWindow::clearProgress(bool keepFigure)
{
    m_progressBar->setValue(0);
    if (!keepFigure)
        m_figure->clear();
}
