// What this user's settings keep between runs of the readers and doors: the
// readers known by the memory we left them holding, each with its layout, and
// the doors the person named with their ports and lists. Kept only in a store
// that is the person's own (UserSettings); in any other, nothing is known and
// nothing kept.
#pragma once

#include "serial/usersettings.h"
#include "transfer/readers.h"

#include <QDateTime>
#include <QList>


class ReaderStore
{
public:
    ReaderStore();
    QList<KnownReader> knownReaders() const;
    QList<Door> doors() const;
    // The port a named door was last on; 0: none known.
    int portOf(const QString &door) const;
    void keep(const ReaderChange &change);
    // The reader that held the memory before (empty: not known) holds what reader says now.
    void keepReader(const QByteArray &before, const KnownReader &reader);
    // Its memory is no longer known (a sync stopped on the way): it is a stranger next time.
    void forget(const QByteArray &memory);
    // When a sync last left a reader holding the list at this path (invalid: never).
    QDateTime lastSyncOf(const QString &listPath) const;

private:
    mutable UserSettings m_settings;
    QSettings *m_store;   // nullptr: not the person's own
};

// The same, each on a store opened for it.
QList<KnownReader> knownReaders();
QList<Door> doors();
std::optional<KnownReader> recognisedReader(QByteArrayView dump);   // among knownReaders()
void keepReader(const QByteArray &before, const KnownReader &reader);
