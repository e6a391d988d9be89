// What the two transfers share: the window's state they work on and the
// progress display they drive.
#pragma once

#include "serial/frames.h"

#include <QByteArray>
#include <QString>

// The window's state, as plain fields under the names the window uses.
struct WindowState {
    qint16 ReaderAddress = 0;
    QByteArray RequestFrame;
    RequestBytes FrameBytes{};
    qint16 WriteAddress = 0;
    int PollCount = 0;
    qint16 UploadBusy = 0;
    qint16 PortListLoading = 0;
    QString PortName;
};

// The progress figure and bar of the window.
class ProgressView
{
public:
    virtual ~ProgressView() = default;
    virtual void setProgressMaximum(int maximum) = 0;
    // Shows the value as the figure and on the bar, painted at once.
    virtual void showProgress(int value) = 0;
    // Empties the bar; the figure is emptied too unless it is to be kept.
    virtual void clearProgress(bool keepFigure = false) = 0;
    // How many records an upload is about to write, once the list is counted.
    virtual void expectRecords(int /*count*/) {}
};
