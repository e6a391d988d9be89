// Shadows and covered captions are drawn for the eye only: a screen reader is
// not told of them. Their containers answer for their children themselves,
// leaving the decorations out.
#pragma once

#include <QGroupBox>

class QWidget;

void markAsDecoration(QWidget *widget);
bool isDecoration(const QWidget *widget);

// A group frame under a class of its own, so that the program, not Qt's
// stock description of a group box, tells a screen reader what it holds.
class GroupFrame : public QGroupBox
{
    Q_OBJECT

public:
    using QGroupBox::QGroupBox;
};
