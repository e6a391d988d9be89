// A port list that says so before it drops down, so the list can follow the
// cables plugged in and pulled out meanwhile.
#pragma once

#include <QComboBox>

class PortList : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;
    void showPopup() override
    {
        emit aboutToShowPopup();
        QComboBox::showPopup();
    }

signals:
    void aboutToShowPopup();
};
