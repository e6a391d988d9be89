// A dump asked for and not heard out. The reader sends all of a dump once it
// has begun, whether or not anybody still listens, and it may pause on the
// way: a program stopped (or killed) in the middle of one leaves the rest of
// it coming down the line, and a quiet moment in a pause is no end. So every
// program notes, in the person's own runtime folder and before its request
// goes out, when it asked for a dump on which device; the note goes once the
// whole dump was read. The next program finds it and waits out the rest of
// that dump before it asks: a dump taken is then the memory of one moment,
// never an old dump's tail spliced onto a new one's head.
#pragma once

#include <QString>

// What the reader on a line has shown this session: its longest pause inside
// a dump (a quiet line shorter than that is no end), and how many blocks of
// its memory were neither a record nor erased (more than that in a dump is a
// dump not to be taken at its word).
struct LineHabits {
    qint64 longestPauseMs = 0;
    int oddBlocks = 0;
};

// Where notes are kept: the runtime folder, or when that is no folder of the person's own
// (unset, /tmp, another user's), the person's cache folder. Empty when neither will do.
QString dumpNoteFolder();

class DumpNote
{
public:
    explicit DumpNote(const QString &device);
    // Milliseconds the reader may still be sending a dump asked for earlier; 0 when none.
    // Times are the wall clock's, in milliseconds since the epoch.
    qint64 msLeft(qint64 now) const;
    void asked(qint64 now);   // a request is about to go out
    void heardOut();   // the whole dump was read: nothing more is coming
    LineHabits habits() const;
    void keepHabits(const LineHabits &habits);
    QString path() const { return m_path; }   // empty: none is kept
    QString hintPath() const { return m_hint; }   // the hint for other accounts; empty: none

private:
    QString m_path;   // empty: no folder of the person's own to keep it in
    // The same time, where every account's program looks (the system's lock folder): a dump another
    // account abandoned on the device is waited out too. Anyone could plant one: it costs a wait of
    // one dump at most, never a byte of what is read or written.
    QString m_hint;
    QString m_habits;
};

// What a reader may add to a dump's wire time in pauses on the way (up to a second or so).
constexpr qint64 DumpPausesMs = 3000;
