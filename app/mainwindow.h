// The main window, Form1: its controls, its state and the handlers of its six events.
#pragma once

#include "desktop/portlist.h"
#include "serial/commport.h"
#include "transfer/conversation.h"
#include "transfer/messages.h"

#include <QComboBox>
#include <QWidget>
#include <memory>

class Clock;
class Dialogs;
class SingleInstance;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The window's state: the requests it builds, and what only the window keeps.
struct WindowState : RequestState {
    qint16 UploadBusy = 0;
    qint16 PortListLoading = 0;
    QString PortName;
};

class MainWindow : public QWidget, private ProgressView
{
    Q_OBJECT

public:
    MainWindow(Dialogs &dialogs, Clock &clock, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Start-up; false when the program is already running on this machine.
    bool start();

    const WindowState &state() const { return m_state; }
    bool endRequested() const { return m_endRequested; }
    CommPort &port() { return m_port; }

public slots:
    void ChooseFile();   // double-click on Text4
    void exitAsked();    // Command19
    void portChosen();   // an entry of Combo1, also one the window selects itself
    void upload();       // Command1
    void readout();      // Command6
    // The program is asked to end (SIGTERM, SIGHUP, SIGINT).
    void endFromOutside();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void styleControls();
    int px(int twips) const;

    bool scanPorts();
    void refreshPortList();
    void selectSavedPort();
    void openPort(int receiveBufferSize, const QString &settings);
    void onLineFailed();

    Conversation conversation() { return {m_port, m_clock, *this, m_state}; }
    void beginPhase(Phase phase, int totalRecords) override;
    void showBytes(int received) override;
    void showRecords(int done, qint16 nextAddress) override;
    void showFigure(int value);
    Texts::TransferWording wording(const QString &path) const;   // the window's own words in an outcome
    void clearProgress(bool keepFigure);

    Dialogs &m_dialogs;
    Clock &m_clock;
    CommPort m_port;
    WindowState m_state;
    std::unique_ptr<SingleInstance> m_instance;
    bool m_transferRunning = false;
    bool m_endRequested = false;

    // The controls by role; each keeps the object name the window has always given it (createControls).
    QComboBox *m_openingTimes = nullptr;
    QLineEdit *m_filePath = nullptr;
    QLineEdit *m_figure = nullptr;
    QPushButton *m_exitButton = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QGroupBox *m_codeMemory = nullptr;
    QPushButton *m_uploadButton = nullptr;
    QPushButton *m_readoutButton = nullptr;
    QLabel *m_readoutShadow = nullptr;
    QLabel *m_uploadShadow = nullptr;
    PortList *m_ports = nullptr;
    QLabel *m_openingTimeCaption = nullptr;
    QLabel *m_fileCaption = nullptr;
    QLabel *m_cornerShadow = nullptr;
    QLabel *m_footShadow = nullptr;
    QLabel *m_frameShadow = nullptr;
    QLabel *m_portCaption = nullptr;
};
