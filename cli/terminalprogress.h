// A transfer's progress on a terminal: its phase, done of all, a bar and the
// time the whole command still takes, on one line of standard error that
// redraws itself and never gets longer than the terminal is wide. What is
// typed meanwhile is not echoed into it. Without a terminal (a script, a
// log, cron): one line as each phase begins.
#pragma once

#include "transfer/conversation.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <optional>
#include <termios.h>

class TerminalProgress : public ProgressView
{
public:
    explicit TerminalProgress(FILE *out = stderr);
    ~TerminalProgress() override;

    void expectWork(int dumps, int records) override;
    void beginPhase(Phase phase, int totalRecords = 0) override;
    void showBytes(int received) override;
    void showRecords(int done, qint16 nextAddress) override;
    // Takes the line away, so a message can stand in its place.
    void finish();

    // The line for done of the phase, at most width characters.
    QString line(int done, int width) const;

private:
    void draw(int done);
    int width() const;
    double secondsLeft(int done) const;
    void quietInput(bool quiet);

    FILE *m_out;
    bool m_terminal;
    bool m_drawn = false;
    Phase m_phase = Phase::Reading;
    int m_total = 0;          // bytes of a dump, or records of the phase
    int m_dumpsAfter = 0;     // what the command still does after this phase
    int m_recordsAfter = 0;
    QElapsedTimer m_sinceDraw;
    std::optional<termios> m_input;   // the terminal's input settings while echo is off
};
