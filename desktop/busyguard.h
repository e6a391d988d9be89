// While a transfer runs, the window keeps painting and answering the desktop,
// but nothing the user does acts: clicks and keys are dropped, and a click on
// the close box is held until the transfer has ended.
#pragma once

#include <QObject>

class QWidget;

class BusyGuard : public QObject
{
public:
    explicit BusyGuard(QWidget *window);
    ~BusyGuard() override;   // closes the window now if that was asked meanwhile

    // Lets input through again, for the message that reports the outcome.
    void release();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    bool m_active = true;
    bool m_closeRequested = false;
};
