// Reading files that someone else could have put there: lock files in folders
// every user may write, and what /proc and /sys say about devices and processes.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/stat.h>

// The first maxBytes of a regular file. Never through a link at the last step
// of the path and never waiting: a FIFO or a device planted under the name is
// not read at all. info, when given, gets the file's status.
std::optional<QByteArray> readSmallFile(const QString &path, qsizetype maxBytes, struct stat *info = nullptr);
