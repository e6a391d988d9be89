#include "tools/reader-sim/readermodel.h"

#include <QCommandLineParser>

Reply ReaderModel::answer(QByteArrayView request)
{
    if (quint8(request[9]) == WriteRecord)
        return writeReply(request);
    const Reader::Answer reply = reader.handle(request);
    if (reply.isDump)
        return dumpReply(reply.bytes);
    return {0, {{0, reply.bytes}}, false};
}

Reply ReaderModel::writeReply(QByteArrayView request)
{
    const int number = ++m_writes;
    Reply reply;
    reply.thinkMs = WriteProcessingMs;
    if (number == faults.silentWrite)
        return reply;
    QByteArray bytes = reader.handle(request, number == faults.refuseWrite).bytes;
    if (number == faults.longAnswer)
        bytes.append('\0');
    if (number == faults.strayWrite)
        bytes.prepend(QByteArray("\xAA\x55", 2));
    const qsizetype piece = faults.piecesGapMs > 0 ? 4 : bytes.size();
    for (qsizetype at = 0; at < bytes.size(); at += piece)
        reply.pieces.append({at > 0 ? faults.piecesGapMs : 0, bytes.mid(at, piece)});
    reply.hangUp = number == faults.hangupAfterWrite;
    return reply;
}

Reply ReaderModel::dumpReply(const QByteArray &dump) const
{
    qsizetype length = dump.size();
    if (faults.stopDump >= 0)
        length = qMin<qsizetype>(length, faults.stopDump);
    if (faults.hangupDump >= 0)
        length = qMin<qsizetype>(length, faults.hangupDump);
    QByteArray bytes = QByteArray(faults.strayDump, char(0x3F)) + dump.left(length);
    if (length == dump.size())
        bytes += QByteArray(faults.dumpExtra, char(0xEE));
    Reply reply;
    reply.hangUp = faults.hangupDump >= 0 && length == faults.hangupDump;
    if (faults.dribbleMs > 0) {
        for (qsizetype at = 0; at < bytes.size(); ++at)
            reply.pieces.append({at > 0 ? faults.dribbleMs : 0, bytes.mid(at, 1)});
    } else if (faults.pauseAfter > 0 && faults.pauseAfter < bytes.size()) {
        reply.pieces = {{0, bytes.left(faults.pauseAfter)}, {faults.pauseMs, bytes.mid(faults.pauseAfter)}};
    } else {
        reply.pieces = {{0, bytes}};
    }
    return reply;
}

void addReaderOptions(QCommandLineParser &parser)
{
    const auto option = [&](const char *name, const char *help, const char *value = nullptr) {
        QCommandLineOption o{QString::fromLatin1(name), QString::fromLatin1(help)};
        if (value)
            o.setValueName(QLatin1String(value));
        parser.addOption(o);
    };
    option("image", "Load the memory from this 20490-byte image.", "FILE");
    option("seed", "Store the card lines of this code list from the top slot down.", "CSV");
    option("seed-time", "Opening time of seeded cards (default 5).", "T");
    option("refuse-write", "Refuse the Nth write.", "N");
    option("silent-write", "Do not answer the Nth write.", "N");
    option("long-answer", "Answer the Nth write with 16 bytes.", "N");
    option("stray-write", "Send two stray bytes before the answer to the Nth write.", "N");
    option("pieces", "Send write answers in pieces of 4 bytes, this many ms apart.", "MS");
    option("stop-dump", "Stop the dump after K bytes and stay silent.", "K");
    option("hangup-after-write", "Hang up the line after answering the Nth write.", "N");
    option("hangup-dump", "Hang up the line after K dump bytes.", "K");
    option("dump-extra", "Send N more bytes after the dump.", "N");
    option("stray-dump", "Send N stray bytes before every dump.", "N");
    option("dribble", "Send the dump one byte at a time, this many ms apart.", "MS");
    option("dump-pause", "Pause MS milliseconds after K bytes of every dump.", "K:MS");
    option("cards-only", "Refuse records whose opening time is 0 or above 127 (erased ones too).");
    option("layout", "Where write addresses land in the dump: top-down (7392 first, the default) "
                     "or bottom-up (0 first).", "RULE");
    option("layout-offset", "Dump blocks before the first one an address reaches (default 0).", "K");
}

QString applyReaderOptions(const QCommandLineParser &parser, ReaderModel &model)
{
    const auto number = [&](const char *name, int fallback) {
        const QString o = QString::fromLatin1(name);
        return parser.isSet(o) ? parser.value(o).toInt() : fallback;
    };
    ReaderFaults &faults = model.faults;
    faults.refuseWrite = number("refuse-write", 0);
    faults.silentWrite = number("silent-write", 0);
    faults.longAnswer = number("long-answer", 0);
    faults.strayWrite = number("stray-write", 0);
    faults.piecesGapMs = number("pieces", 0);
    faults.stopDump = number("stop-dump", -1);
    faults.hangupAfterWrite = number("hangup-after-write", 0);
    faults.hangupDump = number("hangup-dump", -1);
    faults.dumpExtra = number("dump-extra", 0);
    faults.strayDump = number("stray-dump", 0);
    faults.dribbleMs = number("dribble", 0);
    if (parser.isSet(QStringLiteral("dump-pause"))) {
        const QStringList parts = parser.value(QStringLiteral("dump-pause")).split(QLatin1Char(':'));
        faults.pauseAfter = parts.value(0).toInt();
        faults.pauseMs = parts.value(1).toInt();
    }
    if (parser.isSet(QStringLiteral("cards-only")))
        model.reader.takeCardsOnly();
    const QString rule = parser.value(QStringLiteral("layout"));
    if (!rule.isEmpty() && rule != QLatin1String("top-down") && rule != QLatin1String("bottom-up"))
        return QStringLiteral("--layout takes top-down or bottom-up");
    model.reader.setLayout(rule == QLatin1String("bottom-up") ? Reader::Layout::BottomUp : Reader::Layout::TopDown,
                           qBound(0, number("layout-offset", 0), DumpExaminedBlocks - ReaderCapacity));
    const QString image = parser.value(QStringLiteral("image"));
    if (!image.isEmpty() && !model.reader.loadImage(image))
        qWarning("reader-sim: cannot read image %s", qPrintable(image));
    const QString seed = parser.value(QStringLiteral("seed"));
    if (!seed.isEmpty() && model.reader.seedFromCodeList(seed, number("seed-time", 5)) < 0)
        return QStringLiteral("cannot read code list %1").arg(seed);
    return {};
}
