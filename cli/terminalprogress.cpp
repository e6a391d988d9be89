#include "cli/terminalprogress.h"
#include "serial/frames.h"
#include "transfer/upload.h"

#include <QString>
#include <unistd.h>

namespace {

constexpr int BarWidth = 30;
constexpr qint64 RedrawMs = 100;

} // namespace

TerminalProgress::TerminalProgress(Kind kind, FILE *out)
    : m_kind(kind), m_out(out), m_terminal(::isatty(::fileno(out))), m_total(kind == DumpBytes ? DumpLength : 0)
{
    m_since.start();
}

void TerminalProgress::showProgress(int value)
{
    // An upload shows the memory address of the next record, counting down.
    const int done = m_kind == DumpBytes ? value : (FirstWriteAddress - value) / RecordSpacing;
    const qint64 now = m_since.elapsed();
    if (!m_terminal || (m_lastDraw >= 0 && now - m_lastDraw < RedrawMs && done < m_total))
        return;
    m_lastDraw = now;
    draw(done);
}

void TerminalProgress::draw(int done)
{
    const int total = qMax(m_total, 1);
    const int shown = qBound(0, done, total);
    const int filled = shown * BarWidth / total;
    QString left = QStringLiteral("--:--");
    if (shown > 0) {
        const qint64 seconds = m_since.elapsed() * (total - shown) / shown / 1000;
        left = QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    const QString unit = m_kind == DumpBytes ? QStringLiteral("bájt") : QStringLiteral("kód");
    const QString line = QStringLiteral("\r%1/%2 %3 [%4%5] %6%  hátra: %7\x1b[K")
                             .arg(shown)
                             .arg(m_total)
                             .arg(unit, QString(filled, QLatin1Char('#')), QString(BarWidth - filled, QLatin1Char('-')))
                             .arg(shown * 100 / total, 3)
                             .arg(left);
    fputs(line.toLocal8Bit().constData(), m_out);
    fflush(m_out);
    m_drawn = true;
}

void TerminalProgress::finish()
{
    if (!m_drawn)
        return;
    fputs("\r\x1b[K", m_out);
    fflush(m_out);
    m_drawn = false;
}
