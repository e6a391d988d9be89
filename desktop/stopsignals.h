// The signals that end a program: SIGTERM when the session ends, SIGHUP when
// its terminal goes, SIGINT for Ctrl-C. Turned into a Qt signal on the event
// loop, so the window can end the way its close box ends it.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // Readable once a stop signal came: for a wait that runs before the event loop does.
    static int pendingFd();

signals:
    void received();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
