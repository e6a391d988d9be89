// Byte-exact request frames, answer judging and dump splitting.
#include "serial/frames.h"
#include "tests/support/files.h"

#include <QTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// An erased memory with the given blocks filled in (offsets 1-6 of a block).
QByteArray dumpWith(const QList<QPair<int, QByteArray>> &blocks)
{
    QByteArray dump(DumpLength, char(0xFF));
    for (const auto &[block, bytes] : blocks)
        dump.replace(block * DumpBlockLength + 1, bytes.size(), bytes);
    return dump;
}

} // namespace

class TestFrames : public QObject
{
    Q_OBJECT

private slots:
    void requests_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("worked write request")
            << requestFrame(writeRequestBytes(1, codeOf("0123456789"), 5, 7392)) << hex("0101234567890" "51CE00661");
        QTest::newRow("read request")
            << requestFrame(readRequestBytes(1)) << hex("0100000000000000002021");
        QTest::newRow("second record address")
            << requestFrame(writeRequestBytes(1, codeOf("0000000000"), 5, 7386)) << hex("01000000000005" "1CDA06" "02");
        QTest::newRow("lowest address")
            << requestFrame(writeRequestBytes(1, codeOf("0000000000"), 1, 0)) << hex("0100000000000100000608");
        QTest::newRow("sum 256 gives checksum 00")
            << requestFrame(writeRequestBytes(1, codeOf("F000000000"), 9, 0)) << hex("01F000000000090000" "06" "00");
        QTest::newRow("sum 255 gives checksum FF")
            << requestFrame(writeRequestBytes(1, codeOf("F000000000"), 8, 0)) << hex("01F000000000080000" "06" "FF");
        QTest::newRow("negative address travels as its 16-bit pattern")
            << requestFrame(writeRequestBytes(1, codeOf("0000000000"), 1, -6)) << hex("0100000000" "0001FFFA06" "01");
        QTest::newRow("all bytes FF, sum folds several times")
            << requestFrame(writeRequestBytes(1, codeOf("FFFFFFFFFF"), 127, qint16(0x7FFF))) << hex("01FFFFFFFFFF7F7FFF06" "FF");
    }
    void requests()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QCOMPARE(frame.size(), RequestLength);
        QCOMPARE(frame.toHex(' ').toUpper(), expected.toHex(' ').toUpper());
    }

    void writeAnswer_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("accepted");
        QByteArray taken(15, '\0');
        taken[12] = 0x06;
        QByteArray takenNoise(15, char(0xA5));
        takenNoise[12] = 0x06;
        QByteArray refused(15, '\0');
        refused[12] = 0x15;
        QByteArray wrongPlace(15, '\0');
        wrongPlace[13] = 0x06;
        QTest::newRow("06 at byte 13") << taken << true;
        QTest::newRow("06 at byte 13, other bytes anything") << takenNoise << true;
        QTest::newRow("15 at byte 13") << refused << false;
        QTest::newRow("00 at byte 13") << QByteArray(15, '\0') << false;
        QTest::newRow("06 at byte 14 only") << wrongPlace << false;
        QTest::newRow("empty, no answer") << QByteArray() << false;
        QTest::newRow("12 bytes") << QByteArray(12, 0x06) << false;
    }
    void writeAnswer()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, accepted);
        QCOMPARE(isWriteAccepted(answer), accepted);
    }

    void dumpBlocks_data()
    {
        QTest::addColumn<QByteArray>("blockBytes");   // offsets 1-6
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("codeText");
        QTest::addColumn<int>("time");
        QTest::newRow("erased") << hex("FFFFFFFFFFFF") << false << QString() << 0;
        QTest::newRow("time 7F valid") << hex("01234567897F") << true << "0123456789" << 127;
        QTest::newRow("time 80 skipped") << hex("012345678980") << false << QString() << 0;
        QTest::newRow("time 00 skipped") << hex("012345678900") << false << QString() << 0;
        QTest::newRow("time 01 valid") << hex("0A0B0C0D0E01") << true << "0A0B0C0D0E" << 1;
        QTest::newRow("code FFFFFFFFFF time 5 valid") << hex("FFFFFFFFFF05") << true << "FFFFFFFFFF" << 5;
    }
    void dumpBlocks()
    {
        QFETCH(QByteArray, blockBytes);
        QFETCH(bool, valid);
        QFETCH(QString, codeText);
        QFETCH(int, time);
        // The same block in the first, a middle and the last examined place.
        for (int block : {0, 700, DumpExaminedBlocks - 1}) {
            const QByteArray dump = dumpWith({{block, blockBytes}});
            const auto record = ::dumpBlock(dump, block);
            QCOMPARE(record.has_value(), valid);
            if (valid) {
                QCOMPARE(hexCode(record->code), codeText);
                QCOMPARE(record->openingTime, time);
            }
            QCOMPARE(validRecords(dump).size(), valid ? 1 : 0);
        }
    }

    void validRecordsInBlockOrder()
    {
        const QByteArray dump = dumpWith({{3, hex("0000000003" "05")}, {1, hex("0000000001" "05")},
                                          {1365, hex("0000000099" "05")}});   // the unexamined block
        const QList<DumpRecord> records = validRecords(dump);
        QCOMPARE(records.size(), 2);
        QCOMPARE(hexCode(records[0].code), QStringLiteral("0000000001"));
        QCOMPARE(hexCode(records[1].code), QStringLiteral("0000000003"));
    }

    void shortDumpIsSafe()
    {
        // Only whole blocks inside the bytes given are looked at.
        QCOMPARE(validRecords(QByteArray(20, 0x05)).size(), 1);
        QVERIFY(!::dumpBlock(QByteArray(14, 0x05), 0));
        QVERIFY(!::dumpBlock(QByteArray(DumpLength, 0x05), -1));
    }

    void hexText()
    {
        QCOMPARE(hexByte(0x0A), QStringLiteral("0A"));
        QCOMPARE(hexByte(0x00), QStringLiteral("00"));
        QCOMPARE(hexByte(0xFF), QStringLiteral("FF"));
        QCOMPARE(hexCode(codeOf("0a0b0c0d0e")), QStringLiteral("0A0B0C0D0E"));
    }
};

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
