#include "cli/terminalprogress.h"
#include "cli/texts.h"
#include "transfer/exchange.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int BarWidth = 30;
constexpr int NarrowestBar = 5;
constexpr qint64 RedrawMs = 100;

} // namespace

TerminalProgress::TerminalProgress(FILE *out) : m_out(out), m_terminal(::isatty(::fileno(out)))
{
}

TerminalProgress::~TerminalProgress()
{
    finish();
    quietInput(false);
}

void TerminalProgress::expectWork(int dumps, int records)
{
    m_dumpsAfter = dumps;
    m_recordsAfter = records;
}

void TerminalProgress::beginPhase(Phase phase, int totalRecords)
{
    finish();
    m_phase = phase;
    m_total = readsDump(phase) ? DumpLength : totalRecords;
    if (readsDump(phase))
        m_dumpsAfter = qMax(0, m_dumpsAfter - 1);
    else
        m_recordsAfter = qMax(0, m_recordsAfter - totalRecords);
    m_sinceDraw.invalidate();
    if (!m_terminal) {
        fprintf(m_out, "%s\n", Texts::phaseLine(int(phase), totalRecords).toLocal8Bit().constData());
        fflush(m_out);
    }
}

void TerminalProgress::showBytes(int received)
{
    draw(received);
}

void TerminalProgress::showRecords(int done, qint16)
{
    draw(done);
}

void TerminalProgress::draw(int done)
{
    if (!m_terminal || (m_sinceDraw.isValid() && m_sinceDraw.elapsed() < RedrawMs && done < m_total))
        return;
    m_sinceDraw.start();
    quietInput(true);
    // Asked at every draw, so the line follows a resized terminal.
    fputs(("\r" + line(done, width()) + "\x1b[K").toLocal8Bit().constData(), m_out);
    fflush(m_out);
    m_drawn = true;
}

double TerminalProgress::secondsLeft(int done) const
{
    const int left = qMax(0, m_total - done);
    return (readsDump(m_phase) ? left * ByteSeconds : left * RecordSeconds) + m_dumpsAfter * DumpSeconds
        + m_recordsAfter * RecordSeconds;
}

QString TerminalProgress::line(int done, int width) const
{
    const int total = qMax(m_total, 1);
    const int shown = qBound(0, done, total);
    const qint64 seconds = qRound64(secondsLeft(shown));
    const QString left = QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    const QString count = Texts::progressCount(int(m_phase), shown, m_total, readsDump(m_phase));
    const QString tail = Texts::progressLeft(shown * 100 / total, left);
    // The last column stays free: some terminals wrap as soon as it is written.
    const int room = width - 1;
    const int bar = qMin(BarWidth, room - int(count.size() + tail.size()) - 4);
    QString text = count + QLatin1Char(' ');
    if (bar >= NarrowestBar) {
        const int filled = shown * bar / total;
        text += QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(bar - filled, QLatin1Char('-'))
            + QStringLiteral("] ");
    }
    text += tail;
    return text.left(qMax(room, 0));
}

int TerminalProgress::width() const
{
    winsize size{};
    if (::ioctl(::fileno(m_out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void TerminalProgress::finish()
{
    quietInput(false);
    if (!m_drawn)
        return;
    fputs("\r\x1b[K", m_out);
    fflush(m_out);
    m_drawn = false;
}

// Keys pressed while the line is drawn would be echoed into it and break it.
void TerminalProgress::quietInput(bool quiet)
{
    if (quiet == m_input.has_value() || !::isatty(STDIN_FILENO))
        return;
    if (quiet) {
        termios settings;
        if (::tcgetattr(STDIN_FILENO, &settings) != 0)
            return;
        m_input = settings;
        settings.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &settings);
    } else {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &*m_input);
        m_input.reset();
    }
}
