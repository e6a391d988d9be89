// Small helpers for the files and codes tests work with.
#pragma once

#include "serial/frames.h"

#include <QByteArray>
#include <QString>

CardCode codeOf(const char *hex);   // "0123456789"
QByteArray readFile(const QString &path);   // "<unreadable>" when it cannot be read
bool writeFile(const QString &path, const QByteArray &content);
