// Unsaved edits of a list, kept when the session ends under the window (a
// logout's SIGTERM, the session manager's last call) and offered back the next
// time that list is opened. Never written over the list: one file per list in
// the person's own data folder, which nobody else may write.
#pragma once

#include "transfer/listdocument.h"

#include <QDateTime>
#include <optional>

struct UnsavedEdits {
    QString path;         // the list they belong to (empty: a new list never saved)
    FileStamp stamp;      // the file as it was when the edits began
    QDateTime kept;       // UTC
    QByteArray bytes;     // the whole list with the edits
};

QString editsFolder();
FileFault keepUnsavedEdits(const ListDocument &document);
// The edits kept for the list at path, when they are the person's own.
std::optional<UnsavedEdits> findUnsavedEdits(const QString &path);
void dropUnsavedEdits(const QString &path);
