// A transfer's progress on a terminal: done of all, a bar and the time left,
// on one line of standard error that redraws itself. Nothing when standard
// error is not a terminal (a script, a log).
#pragma once

#include "transfer/transfer.h"

#include <QElapsedTimer>
#include <cstdio>

class TerminalProgress : public ProgressView
{
public:
    enum Kind { DumpBytes, UploadRecords };
    explicit TerminalProgress(Kind kind, FILE *out = stderr);
    ~TerminalProgress() override { finish(); }

    void setProgressMaximum(int) override {}
    void showProgress(int value) override;
    void clearProgress(bool) override {}
    void expectRecords(int count) override { m_total = count; }
    // Takes the line away, so a message can stand in its place.
    void finish();

private:
    void draw(int done);

    Kind m_kind;
    FILE *m_out;
    bool m_terminal;
    bool m_drawn = false;
    int m_total;
    QElapsedTimer m_since;
    qint64 m_lastDraw = -1;
};
