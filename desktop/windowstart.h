// What both windows do before they have a window: --help and --version are
// answered without one, a machine without a display is told so in one line
// (Qt would end with an abort), and Qt's own words on the way are held back
// until the application is up.
#pragma once

#include <QApplication>
#include <QStringList>
#include <memory>
#include <optional>

// The exit status when the arguments asked for no window (--help, --version,
// or no display to open one on); -1 when the window is to open.
int answerWithoutWindow(int argc, char *argv[], const char *program, const char *usage);

// The application, speaking Hungarian in Qt's standard dialogs too.
std::unique_ptr<QApplication> startApplication(int &argc, char *argv[], const char *program);

// The window's own arguments, with the trace of the line started (--trace FILE, or
// VIVADIZUZUD_TRACE=FILE) and taken out; none after an option it does not know, which is
// said on standard error (an option is never taken for a list's name).
std::optional<QStringList> windowArguments(const char *program);
