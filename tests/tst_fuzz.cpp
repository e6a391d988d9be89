// Seeded random inputs for the byte and text logic: no crash, no undefined
// behaviour (the sanitizer build runs this too), and the rules hold for any input.
#include "serial/frames.h"
#include "transfer/codelist.h"
#include "tests/support/files.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr quint32 Seed = 20261207;

QByteArray randomBytes(QRandomGenerator &random, int size, bool textLike)
{
    static const char alphabet[] = "0123456789abcdefABCDEFgG,;1 \t";
    QByteArray bytes(size, '\0');
    for (char &b : bytes)
        b = textLike ? alphabet[random.bounded(int(sizeof alphabet) - 1)] : char(random.bounded(256));
    return bytes;
}

} // namespace

class TestFuzz : public QObject
{
    Q_OBJECT

private slots:
    void lineJudging()
    {
        QRandomGenerator random(Seed);
        for (int round = 0; round < 200000; ++round) {
            const QByteArray line = randomBytes(random, random.bounded(40), random.bounded(2));
            const ListLine judged = judgeLine(line);
            QByteArrayView trimmed = line;   // only spaces and tabs are blanks
            while (!trimmed.isEmpty() && (trimmed.front() == ' ' || trimmed.front() == '\t'))
                trimmed = trimmed.sliced(1);
            while (!trimmed.isEmpty() && (trimmed.back() == ' ' || trimmed.back() == '\t'))
                trimmed.chop(1);
            QCOMPARE(judged.kind == ListLine::Card || judged.kind == ListLine::Malformed, trimmed.startsWith('1'));
            if (judged.kind != ListLine::Card)
                continue;
            // The code is the last ten characters, read as they stand.
            const QByteArray digits = trimmed.last(10).toByteArray();
            QCOMPARE(hexCode(judged.code), QString::fromLatin1(digits).toUpper());
            // Any head with the same last field gives the same code.
            const QByteArray other = "1" + randomBytes(random, random.bounded(10), false) + "," + digits;
            QCOMPARE(judgeLine(other).code, judged.code);
        }
    }

    void dumpSplitting()
    {
        QRandomGenerator random(Seed + 1);
        for (int round = 0; round < 300; ++round) {
            const int size = round % 3 == 0 ? int(random.bounded(DumpLength + 100)) : DumpLength;
            QByteArray dump = randomBytes(random, size, false);
            int expected = 0;
            for (int block = 0; block < DumpExaminedBlocks; ++block) {
                const int at = block * DumpBlockLength;
                if (at + DumpBlockLength > size)
                    break;
                const int time = quint8(dump[at + 6]);
                expected += time >= 1 && time <= 127;
            }
            const QList<DumpRecord> records = validRecords(dump);
            QCOMPARE(records.size(), expected);
            for (const DumpRecord &record : records)
                QVERIFY(record.openingTime >= MinOpeningTime && record.openingTime <= MaxOpeningTime);
        }
    }

    void linesSurviveAnyTerminators()
    {
        // Lines written with any mix of terminators read back as written.
        QRandomGenerator random(Seed + 2);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mixed.csv"));
        static const char *const terminators[] = {"\r\n", "\n", "\r"};
        for (int round = 0; round < 200; ++round) {
            QList<QByteArray> lines;
            QByteArray content;
            const int count = random.bounded(1, 400);
            for (int i = 0; i < count; ++i) {
                QByteArray line = randomBytes(random, random.bounded(30), random.bounded(2));
                line.replace('\r', 'x').replace('\n', 'y');
                lines.append(line);
                content += line;
                // After a lone CR, an empty line ended by LF would read as CR LF: one line end.
                const bool afterCr = content.endsWith('\r');
                if (i + 1 < count || random.bounded(2))
                    content += terminators[line.isEmpty() && afterCr ? 2 : random.bounded(3)];
                else if (line.isEmpty())
                    lines.removeLast();   // an empty last line without terminator is no line
            }
            QVERIFY(writeFile(path, content));

            CodeListReader reader;
            QCOMPARE(reader.open(path), FileFault::None);
            QList<QByteArray> read;
            QByteArray line;
            while (reader.readLine(line))
                read.append(line);
            QCOMPARE(read, lines);
        }
    }
};

QTEST_GUILESS_MAIN(TestFuzz)
#include "tst_fuzz.moc"
