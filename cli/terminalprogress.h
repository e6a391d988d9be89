// A transfer's progress on a terminal: done of all, a bar and the time left,
// on one line of standard error that redraws itself and never gets longer than
// the terminal is wide. Nothing when standard error is not a terminal (a
// script, a log).
#pragma once

#include "transfer/transfer.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

class TerminalProgress : public ProgressView
{
public:
    explicit TerminalProgress(FILE *out = stderr);
    ~TerminalProgress() override { finish(); }

    // A dump counts bytes; an upload's maximum is the top memory address, and
    // it counts records.
    void setProgressMaximum(int maximum) override;
    void showProgress(int value) override;
    void clearProgress(bool) override {}
    void expectRecords(int count) override { m_total = count; }
    // Takes the line away, so a message can stand in its place.
    void finish();

    // The line for done of total after elapsed ms, at most width characters.
    QString line(int done, qint64 elapsedMs, int width) const;

private:
    int width() const;

    FILE *m_out;
    bool m_terminal;
    bool m_drawn = false;
    bool m_records = false;
    int m_total = 0;
    QElapsedTimer m_since;
    qint64 m_lastDraw = -1;
};
