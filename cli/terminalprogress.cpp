#include "cli/terminalprogress.h"
#include "serial/frames.h"
#include "transfer/upload.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int BarWidth = 30;
constexpr int NarrowestBar = 5;
constexpr qint64 RedrawMs = 100;

} // namespace

TerminalProgress::TerminalProgress(FILE *out) : m_out(out), m_terminal(::isatty(::fileno(out)))
{
    setProgressMaximum(0);
}

void TerminalProgress::setProgressMaximum(int maximum)
{
    finish();
    m_records = maximum == FirstWriteAddress;
    m_total = m_records ? 0 : DumpLength;
    m_lastDraw = -1;
    m_since.start();
}

void TerminalProgress::showProgress(int value)
{
    // An upload shows the memory address of the next record, counting down.
    const int done = m_records ? (FirstWriteAddress - value) / RecordSpacing : value;
    const qint64 now = m_since.elapsed();
    if (!m_terminal || (m_lastDraw >= 0 && now - m_lastDraw < RedrawMs && done < m_total))
        return;
    m_lastDraw = now;
    // Asked at every draw, so the line follows a resized terminal.
    const QString text = line(done, now, width());
    fputs(("\r" + text + "\x1b[K").toLocal8Bit().constData(), m_out);
    fflush(m_out);
    m_drawn = true;
}

QString TerminalProgress::line(int done, qint64 elapsedMs, int width) const
{
    const int total = qMax(m_total, 1);
    const int shown = qBound(0, done, total);
    QString left = QStringLiteral("--:--");
    if (shown > 0) {
        const qint64 seconds = elapsedMs * (total - shown) / shown / 1000;
        left = QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    const QString count = QStringLiteral("%1/%2 %3").arg(shown).arg(m_total).arg(m_records ? QStringLiteral("kód")
                                                                                           : QStringLiteral("bájt"));
    const QString tail = QStringLiteral("%1%  hátra: %2").arg(shown * 100 / total, 3).arg(left);
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
    if (!m_drawn)
        return;
    fputs("\r\x1b[K", m_out);
    fflush(m_out);
    m_drawn = false;
}
