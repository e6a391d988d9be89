// The code list file: lines written exactly, read back leniently, and a
// readout appended whole or not at all.
#include "transfer/codelist.h"
#include "transfer/listdocument.h"
#include "transfer/messages.h"
#include "transfer/readers.h"
#include "tests/support/files.h"
#include "tests/support/filesizelimit.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One readout appended through the readout's own file.
FileFault appendReadout(const QString &path, const QList<CardCode> &codes)
{
    ReadoutFile file;
    const FileFault fault = file.open(path);
    return fault == FileFault::None ? file.append(codes) : fault;
}

QList<QByteArray> linesOf(const QString &path)
{
    CodeListReader reader;
    if (reader.open(path) != FileFault::None)
        return {"<cannot open>"};
    QList<QByteArray> lines;
    QByteArray line;
    while (reader.readLine(line))
        lines.append(line);
    return lines;
}

} // namespace

class TestCodeList : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void writtenLines()
    {
        QCOMPARE(headerLine(), QByteArray("3,200,0715"));
        QCOMPARE(cardLine(codeOf("0123456789")), QByteArray("1,200,BB0123456789"));
        QCOMPARE(cardLine(codeOf("0a0b0c0d0e")), QByteArray("1,200,BB0A0B0C0D0E"));
    }

    void judge_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("code");   // as hex
        const int other = ListLine::Other, card = ListLine::Card, malformed = ListLine::Malformed,
                  suspicious = ListLine::Suspicious;
        QTest::newRow("header") << QByteArray("3,200,0715") << other << QByteArray();
        QTest::newRow("card") << QByteArray("1,200,BB0123456789") << card << QByteArray("0123456789");
        QTest::newRow("lower case") << QByteArray("1,200,bb0a0b0c0d0e") << card << QByteArray("0a0b0c0d0e");
        QTest::newRow("no BB") << QByteArray("1,200,0123456789") << card << QByteArray("0123456789");
        QTest::newRow("semicolons") << QByteArray("1;anything at all;FFEEDDCCBB") << card << QByteArray("FFEEDDCCBB");
        QTest::newRow("tabs") << QByteArray("1\t200\tBB0123456789") << card << QByteArray("0123456789");
        QTest::newRow("no separator, ten digits") << QByteArray("1ABCDEF012") << card << QByteArray("1ABCDEF012");
        // A spreadsheet leaves blanks at the ends; they are not part of the line.
        QTest::newRow("trailing space") << QByteArray("1,200,BB0123456789 ") << card << QByteArray("0123456789");
        QTest::newRow("trailing tab") << QByteArray("1,200,BB0123456789\t") << card << QByteArray("0123456789");
        QTest::newRow("leading blanks") << QByteArray(" \t1,200,BB0123456789") << card << QByteArray("0123456789");
        // Card lines that say no code: never sent as some other one.
        QTest::newRow("G among the digits") << QByteArray("1,200,BB01234G6789") << malformed << QByteArray();
        QTest::newRow("nine digits") << QByteArray("1,200,BB012345678") << malformed << QByteArray();
        QTest::newRow("eleven digits") << QByteArray("1,200,BB01234567890") << malformed << QByteArray();
        QTest::newRow("short line 1xyz") << QByteArray("1xyz") << malformed << QByteArray();
        QTest::newRow("a name after the code") << QByteArray("1,200,BB0123456789,Kovács") << malformed << QByteArray();
        QTest::newRow("blank inside") << QByteArray("1,200,BB01234 56789") << malformed << QByteArray();
        QTest::newRow("NUL bytes") << (QByteArray("1,200,BB01") + QByteArray(2, '\0') + "456789") << malformed << QByteArray();
        // A code without the "1" before it: a column put first, or the type left out.
        QTest::newRow("type 2") << QByteArray("2,200,BB0123456789") << suspicious << QByteArray();
        QTest::newRow("flat number first") << QByteArray("22;Kovács, Béla;1;200;BB0123456789") << suspicious << QByteArray();
        QTest::newRow("bare code") << QByteArray("0A0B0C0D0E") << suspicious << QByteArray();
        QTest::newRow("blank line") << QByteArray(" \t ") << other << QByteArray();
    }
    void judge()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, kind);
        QFETCH(QByteArray, code);
        const ListLine judged = judgeLine(line);
        QCOMPARE(int(judged.kind), kind);
        if (kind == ListLine::Card)
            QCOMPARE(hexCode(judged.code), QString::fromLatin1(code).toUpper());
    }

    void lastDay_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("day");   // "": valid for ever; "bad": no such day
        QTest::addColumn<bool>("expired");   // on 2027-03-31
        QTest::newRow("no day") << QByteArray("1,200,Kiss,BB0123456789") << "Kiss" << "" << false;
        QTest::newRow("its last day is today") << QByteArray("1,200,Takarító Kft.,2027-03-31,BB0123456789")
                                               << "Takarító Kft." << "2027-03-31" << false;
        QTest::newRow("yesterday") << QByteArray("1,200,Bérlő,2027-03-30,BB0123456789") << "Bérlő" << "2027-03-30" << true;
        QTest::newRow("tomorrow, no name") << QByteArray("1,200,2027-04-01,BB0123456789") << "" << "2027-04-01" << false;
        QTest::newRow("quoted name") << QByteArray("1,200,\"Kovács, Béla\",2027-01-05,BB0123456789") << "Kovács, Béla"
                                     << "2027-01-05" << true;
        QTest::newRow("semicolons") << QByteArray("1;200;Építő Bt.;2028-12-31;BB0123456789") << "Építő Bt." << "2028-12-31"
                                    << false;
        QTest::newRow("no such day") << QByteArray("1,200,Kiss,2027-02-30,BB0123456789") << "Kiss" << "bad" << false;
        QTest::newRow("a quoted day is a name") << QByteArray("1,200,\"2027-01-01\",BB0123456789") << "2027-01-01" << ""
                                                << false;
        // Days as spreadsheets and people write them, right before the code.
        QTest::newRow("a quoted day after the name") << QByteArray("1,200,Kiss,\"2027-01-15\",BB0123456789") << "Kiss"
                                                     << "2027-01-15" << true;
        QTest::newRow("the Hungarian form") << QByteArray("1,200,Kiss,2027.03.31.,BB0123456789") << "Kiss" << "2027-03-31"
                                            << false;
        QTest::newRow("the Hungarian form with spaces") << QByteArray("1;200;Kiss;2027. 03. 30.;BB0123456789") << "Kiss"
                                                        << "2027-03-30" << true;
        QTest::newRow("one-digit month and day") << QByteArray("1,200,Kiss,2027-1-5,BB0123456789") << "Kiss" << "2027-01-05"
                                                 << true;
        QTest::newRow("an empty day column") << QByteArray("1;200;Kiss;;BB0123456789") << "Kiss" << "" << false;
        QTest::newRow("a quoted code") << QByteArray("1,200,Kiss,\"BB0123456789\"") << "Kiss" << "" << false;
        QTest::newRow("no such day, the Hungarian form") << QByteArray("1,200,Kiss,2027.02.30.,BB0123456789") << "Kiss" << "bad"
                                                         << false;
    }
    void lastDay()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, name);
        QFETCH(QString, day);
        QFETCH(bool, expired);
        const QString path = m_dir.filePath(QStringLiteral("days.csv"));
        QVERIFY(writeFile(path, "3,200,0715\r\n" + line + "\r\n"));
        const CodeList list = readCodeList(path);
        QCOMPARE(list.cards.size(), 1);   // every card line is a card, as an upload sends it
        QCOMPARE(list.cards[0].name, name);
        QCOMPARE(list.suspicious.count, day == QLatin1String("bad") ? 1 : 0);   // and a sync refuses the list
        if (day != QLatin1String("bad"))
            QCOMPARE(list.cards[0].lastDay.toString(Qt::ISODate), day);
        QCOMPARE(list.cards[0].isExpired(QDate(2027, 3, 31)), expired);
        QCOMPARE(list.validCodes(QDate(2027, 3, 31)).size(), expired ? 0 : 1);
    }

    void doorNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fit");
        QTest::newRow("plain") << QStringLiteral("Hátsó kapu") << true;
        QTest::newRow("a blank at its start") << QStringLiteral(" Főbejárat") << false;
        QTest::newRow("a zero-width space") << QStringLiteral("Fő\u200Bbejárat") << false;
        QTest::newRow("turned right to left") << QStringLiteral("\u202Etaráj") << false;
        QTest::newRow("a line separator") << QStringLiteral("Fő\u2028bejárat") << false;
        QTest::newRow("a slash") << QStringLiteral("A/B lépcsőház") << false;
        QTest::newRow("61 characters") << QString(61, QLatin1Char('a')) << false;
    }
    void doorNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, fit);
        QCOMPARE(isDoorName(name), fit);
    }

    void aMendedDayNoLongerHoldsTheListBack()
    {
        ListDocument document;
        document.loadBytes(QString(), FileStamp(), "1,200,Kiss,2026-02-30,BB0000000001\r\n1,200,Nagy,BB0000000002\r\n");
        QCOMPARE(listProblem(document.codeList(), ListUse::Sync, ReaderCapacity), ListProblem::Suspicious);
        document.setLastDay(0, QDate(2026, 3, 2));
        QCOMPARE(listProblem(document.codeList(), ListUse::Sync, ReaderCapacity), ListProblem::None);
        QCOMPARE(document.codeList().cards.value(0).lastDay, QDate(2026, 3, 2));
    }

    // A door synced on 12-10 holds the list as it was valid that day; on 12-11 a card whose last day
    // was 12-10 still opens it until its next sync.
    void aDoorsStandingCountsTheDays_data()
    {
        QTest::addColumn<QString>("lastDay");
        QTest::addColumn<bool>("sameBytes");
        QTest::addColumn<int>("holds");
        QTest::addColumn<int>("stillOpen");
        QTest::newRow("expired since its sync") << "2026-12-10" << true << int(DoorStanding::TheList) << 1;
        QTest::newRow("expired before its sync: taken out by it") << "2026-12-09" << true << int(DoorStanding::TheList) << 0;
        QTest::newRow("valid today") << "2026-12-11" << true << int(DoorStanding::TheList) << 0;
        QTest::newRow("the list changed since") << "2026-12-10" << false << int(DoorStanding::OlderList) << 0;
    }
    void aDoorsStandingCountsTheDays()
    {
        QFETCH(QString, lastDay);
        QFETCH(bool, sameBytes);
        QFETCH(int, holds);
        QFETCH(int, stillOpen);
        const CodeList list = judgeCodeList("1,200,Kiss,BB0000000001\r\n1,200,Takarító Bt. (heti)," + lastDay.toLatin1()
                                            + ",BB0000000C01\r\n");
        Door door;
        door.name = QStringLiteral("Hátsó kapu");
        door.memory = QByteArray(32, 'm');
        door.list = QStringLiteral("/lista.csv");
        door.listHash = "saved";
        door.synced = QDateTime(QDate(2026, 12, 10), QTime(18, 0));
        const DoorStanding standing = doorStanding(door, door.list, sameBytes ? door.listHash : "edited", &list, QDate(2026, 12, 11));
        QCOMPARE(int(standing.holds), holds);
        QCOMPARE(int(standing.stillOpen.size()), stillOpen);
        QCOMPARE(standing.needsSync(), holds != int(DoorStanding::TheList) || stillOpen > 0);
        if (stillOpen)
            QVERIFY(Texts::doorState(standing).contains(QStringLiteral("Takarító Bt. (heti)")));
    }

    void malformedLinesAreNamedByNumber()
    {
        QByteArray content = "3,200,0715\r\n1,200,BB0123456789\r\n";
        for (int i = 0; i < 7; ++i)
            content += "\r\n1,200,BB01234G6789  \r\n";   // lines 4, 6, 8, ...
        content += "1,200,BBAAAAAAAAAA\r\n";
        const QString path = m_dir.filePath(QStringLiteral("broken.csv"));
        QVERIFY(writeFile(path, content));
        const CodeList list = readCodeList(path);
        QCOMPARE(list.fault, FileFault::None);
        QCOMPARE(list.malformed.count, 7);
        QCOMPARE(list.malformed.numbers, QList<qint64>({4, 6, 8, 10, 12}));
        QCOMPARE(list.malformed.first, QByteArray("1,200,BB01234G6789"));
        QCOMPARE(list.cards.size(), 2);
        QCOMPARE(listProblem(list, ListUse::Upload, 1233), ListProblem::Malformed);
    }

    void documentKeepsWhatItDoesNotShow_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QStringList>("edit");   // rename ROW NAME, add CODE NAME, remove ROW
        QTest::addColumn<QByteArray>("after");   // empty: the list cannot be saved
        const QByteArray bom = "\xEF\xBB\xBF";
        QTest::newRow("a quoted name; mark, header, blank and other lines stay")
            << bom + "3,200,0715\r\n1,200,BB0123456789\r\n\r\nmegjegyzés\r\n" << QStringList{"rename", "0", "Kovács, Béla"}
            << bom + "3,200,0715\r\n1,200,\"Kovács, Béla\",BB0123456789\r\n\r\nmegjegyzés\r\n";
        QTest::newRow("quotes doubled") << QByteArray("1,200,Régi,BB0000000001\n") << QStringList{"rename", "0", "Ő \"Öcsi\""}
                                        << QByteArray("1,200,\"Ő \"\"Öcsi\"\"\",BB0000000001\n");
        QTest::newRow("no name is no field") << QByteArray("1,200,Név,BB0000000001\r\n") << QStringList{"rename", "0", ""}
                                             << QByteArray("1,200,BB0000000001\r\n");
        QTest::newRow("between semicolons") << QByteArray("1;x;bb0a0b0c0d0e\n") << QStringList{"rename", "0", "Új"}
                                            << QByteArray("1;x;Új;bb0a0b0c0d0e\n");
        QTest::newRow("added in the file's style") << QByteArray("1;x;bb0a0b0c0d0e\n") << QStringList{"add", "0123456789", "Új"}
                                                   << QByteArray("1;x;bb0a0b0c0d0e\n1;200;Új;BB0123456789\n");
        QTest::newRow("quoted names stay quoted") << QByteArray("1,200,\"Kiss\",BB0000000001\r\n")
                                                  << QStringList{"add", "0000000002", "Nagy"}
                                                  << QByteArray("1,200,\"Kiss\",BB0000000001\r\n1,200,\"Nagy\",BB0000000002\r\n");
        QTest::newRow("a line break in a name is a space") << QByteArray("1,200,BB0000000001\n")
                                                           << QStringList{"rename", "0", "Kiss Péter\n2. emelet\r"}
                                                           << QByteArray("1,200,Kiss Péter 2. emelet,BB0000000001\n");
        QTest::newRow("a last day set before the code") << QByteArray("1;200;Kiss;BB0000000001\n")
                                                        << QStringList{"day", "0", "2027-03-31"}
                                                        << QByteArray("1;200;Kiss;2027-03-31;BB0000000001\n");
        QTest::newRow("and taken out") << QByteArray("1,200,2027-03-31,BB0000000001\n") << QStringList{"day", "0", ""}
                                       << QByteArray("1,200,BB0000000001\n");
        QTest::newRow("a long comment is no card") << "#" + QByteArray(5000, 'x') + "\n1,200,BB0000000001\n"
                                                   << QStringList{"rename", "0", "A"}
                                                   << "#" + QByteArray(5000, 'x') + "\n1,200,A,BB0000000001\n";
        QTest::newRow("after a last line without one") << QByteArray("1,200,BB0000000001") << QStringList{"add", "0000000002", ""}
                                                       << QByteArray("1,200,BB0000000001\r\n1,200,BB0000000002\r\n");
        QTest::newRow("removed, blank lines kept") << QByteArray("a\n1,200,BB0000000001\n\n1,200,BB0000000002\n")
                                                  << QStringList{"remove", "0"} << QByteArray("a\n\n1,200,BB0000000002\n");
        QTest::newRow("a Windows-1250 list stays one") << QByteArray("1,200,K\xf3" "d,BB0000000001\r\n")
                                                      << QStringList{"rename", "0", "Kovács"}
                                                      << QByteArray("1,200,Kov\xe1" "cs,BB0000000001\r\n");
        QTest::newRow("a malformed line: read only") << QByteArray("1,200,BB0000000001\n1,200,BB00000G0002\n")
                                                    << QStringList{"rename", "0", "X"} << QByteArray();
    }
    void documentKeepsWhatItDoesNotShow()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, edit);
        QFETCH(QByteArray, after);
        const QString path = m_dir.filePath(QStringLiteral("document.csv"));
        QVERIFY(writeFile(path, before));
        ListDocument document;
        QCOMPARE(document.load(path), FileFault::None);
        if (edit[0] == QLatin1String("rename"))
            document.setName(edit[1].toInt(), edit[2]);
        else if (edit[0] == QLatin1String("day"))
            document.setLastDay(edit[1].toInt(), QDate::fromString(edit[2], Qt::ISODate));
        else if (edit[0] == QLatin1String("add"))
            document.addCard(codeOf(edit[1].toLatin1().constData()), edit[2]);
        else
            document.removeCard(edit[1].toInt());
        QCOMPARE(document.save() == FileFault::None, !after.isEmpty());
        QCOMPARE(readFile(path), after.isEmpty() ? before : after);
        if ((edit[0] == QLatin1String("rename") || edit[0] == QLatin1String("add")) && !after.isEmpty()) {   // and reads back as it was given
            QCOMPARE(document.load(path), FileFault::None);
            QCOMPARE(document.card(edit[0] == QLatin1String("add") ? document.cardCount() - 1 : 0).name, cleanName(edit[2]));
        }
    }

    void saveWritesOnlyTheFileThatWasRead_data()
    {
        QTest::addColumn<QString>("before");      // done to the file before it is read
        QTest::addColumn<QString>("meanwhile");   // done to it while it is open
        QTest::addColumn<int>("seen");            // what the document sees before saving
        QTest::addColumn<int>("fault");           // and what its save says
        const auto row = [](const char *name, const char *before, const char *meanwhile, DiskChange seen, FileFault fault) {
            QTest::newRow(name) << QString::fromLatin1(before) << QString::fromLatin1(meanwhile) << int(seen) << int(fault);
        };
        row("mode 0640 and group kept", "mode0640 group", "", DiskChange::Same, FileFault::None);
        row("changed meanwhile, overwritten when chosen", "", "append", DiskChange::Changed, FileFault::None);
        row("a link put in its place", "", "link", DiskChange::Elsewhere, FileFault::Replaced);
        row("another file renamed over it", "", "rename", DiskChange::Elsewhere, FileFault::Replaced);
        row("another user's, written in place", "owner", "", DiskChange::Same, FileFault::None);
        row("a hard link stays one", "hardlink", "", DiskChange::Same, FileFault::None);
        row("opened through a link", "through", "", DiskChange::Same, FileFault::None);
        row("read only", "mode0444", "", DiskChange::Same, FileFault::WriteProtected);
    }
    void saveWritesOnlyTheFileThatWasRead()
    {
        QFETCH(QString, before);
        QFETCH(QString, meanwhile);
        QFETCH(int, seen);
        QFETCH(int, fault);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("lista.csv")), other = dir.filePath(QStringLiteral("masik.csv"));
        const QString second = dir.filePath(QStringLiteral("ketto.csv")), link = dir.filePath(QStringLiteral("link.csv"));
        const QByteArray name = QFile::encodeName(path), original = "3,200,0715\r\n1,200,BB0000000001\r\n";
        const QByteArray others = "1,200,BB00000000FF\r\n", appended = "1,200,BB0000000003\r\n";
        QVERIFY(writeFile(path, original) && writeFile(other, others));
        if (before.contains(QLatin1String("mode0")))
            QCOMPARE(::chmod(name.constData(), before.mid(before.indexOf(QLatin1String("mode")) + 4, 4).toUInt(nullptr, 8)), 0);
        if (before.contains(QLatin1String("group")))
            QCOMPARE(::chown(name.constData(), uid_t(-1), 65534), 0);
        if (before == QLatin1String("owner"))
            QVERIFY(::chown(name.constData(), 65534, 65534) == 0 && ::chmod(name.constData(), 0666) == 0);
        if (before == QLatin1String("hardlink"))
            QCOMPARE(::link(name.constData(), QFile::encodeName(second).constData()), 0);
        if (before == QLatin1String("through"))
            QVERIFY(QFile::link(path, link));
        struct stat was, now;
        QCOMPARE(::stat(name.constData(), &was), 0);

        ListDocument document;
        QCOMPARE(document.load(before == QLatin1String("through") ? link : path), FileFault::None);
        document.addCard(codeOf("0000000002"), QStringLiteral("Kiss"));
        if (meanwhile == QLatin1String("append"))
            QVERIFY(writeFile(path, original + appended));
        if (meanwhile == QLatin1String("link"))
            QVERIFY(QFile::remove(path) && QFile::link(other, path));
        if (meanwhile == QLatin1String("rename"))
            QVERIFY(writeFile(second, others) && ::rename(QFile::encodeName(second).constData(), name.constData()) == 0);
        QCOMPARE(int(document.diskChange()), seen);
        if (seen == int(DiskChange::Changed))
            QVERIFY(document.takeDiskAsRead());
        QCOMPARE(int(document.save()), fault);

        QCOMPARE(readFile(other), others);   // whatever the name led to meanwhile
        if (fault != int(FileFault::None)) {
            QCOMPARE(readFile(meanwhile.isEmpty() ? path : other), meanwhile.isEmpty() ? original : others);
            return;
        }
        QCOMPARE(readFile(path), original + "1,200,Kiss,BB0000000002\r\n");
        QCOMPARE(::stat(name.constData(), &now), 0);
        QCOMPARE(now.st_uid, was.st_uid);
        QCOMPARE(now.st_gid, was.st_gid);
        QCOMPARE(now.st_mode, was.st_mode);
        QCOMPARE(now.st_nlink, was.st_nlink);
        if (before == QLatin1String("hardlink"))
            QCOMPARE(readFile(second), readFile(path));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression("^\\.")), QStringList());
    }

    // A full disk: the list stays as it was, whichever way it is written, and nothing is left beside it.
    void aSaveOnAFullDiskLeavesTheListAsItWas_data()
    {
        QTest::addColumn<bool>("secondName");
        QTest::addColumn<int>("room");   // bytes a file may have beyond the list's own
        QTest::newRow("replaced whole") << false << 40;
        QTest::newRow("written in place (a second name keeps it one file)") << true << 40;
        QTest::newRow("written in place, no room even for the copy of the old bytes") << true << -10;
    }
    void aSaveOnAFullDiskLeavesTheListAsItWas()
    {
        QFETCH(bool, secondName);
        QFETCH(int, room);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("lista.csv"));
        const QByteArray original = "3,200,0715\r\n1,200,Kiss,BB0000000001\r\n";
        QVERIFY(writeFile(path, original));
        if (secondName)
            QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(dir.filePath(QStringLiteral("masik.csv"))).constData()), 0);
        ListDocument document;
        QCOMPARE(document.load(path), FileFault::None);
        for (int i = 2; i < 40; ++i)
            document.addCard(codeOf(QByteArray::number(i).rightJustified(10, '0').constData()), QStringLiteral("Lakó"));
        FileFault fault;
        QString kept;
        {
            FileSizeLimit limit(rlim_t(original.size() + room));
            fault = document.save(&kept);
        }
        QCOMPARE(fault, FileFault::DiskFull);
        QCOMPARE(readFile(path), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression("^\\.")), QStringList());
    }

    void aListNamedAsLongAsANameMayBeIsSaved()
    {
        const QString path = m_dir.filePath(QString(251, QLatin1Char('n')) + QStringLiteral(".csv"));   // 255 bytes
        QVERIFY(writeFile(path, "1,200,BB0000000001\r\n"));
        ListDocument document;
        QCOMPARE(document.load(path), FileFault::None);
        document.addCard(codeOf("0000000002"), QString());
        QCOMPARE(document.save(), FileFault::None);
        QCOMPARE(readFile(path), QByteArray("1,200,BB0000000001\r\n1,200,BB0000000002\r\n"));
    }

    void saveAsNeverWritesThroughALink()
    {
        // Another user of a shared folder plants the new name as a link to the caretaker's file.
        const QString secret = m_dir.filePath(QStringLiteral("secret.csv")), planted = m_dir.filePath(QStringLiteral("uj.csv"));
        QVERIFY(writeFile(secret, "1,200,BB00000000FF\r\n") && QFile::link(secret, planted));
        ListDocument document;
        document.clear(m_dir.filePath(QStringLiteral("lista.csv")));
        document.addCard(codeOf("0000000001"), QString());
        QCOMPARE(document.saveAs(planted), FileFault::Link);
        QCOMPARE(readFile(secret), QByteArray("1,200,BB00000000FF\r\n"));
    }

    void newListTakesTheUmasksMode()
    {
        const QString path = m_dir.filePath(QStringLiteral("new-private.csv"));
        ListDocument document;
        document.clear(path);
        document.addCard(codeOf("0000000001"), QString());
        const mode_t mask = ::umask(077);
        const FileFault fault = document.save();
        ::umask(mask);
        QCOMPARE(fault, FileFault::None);
        QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }

    void ordinalsAndCodesTakeTheirArticle()
    {
        QStringList said;
        for (qint64 n : {1, 5, 6, 10, 15, 100, 1000, 1500, 52})
            said.append(Texts::theNth(n));
        QCOMPARE(said.join(u' '), QStringLiteral("az 1. az 5. a 6. a 10. a 15. a 100. az 1000. az 1500. az 52."));
        QCOMPARE(Texts::theCode(codeOf("E000000001")) + u' ' + Texts::theCode(codeOf("0000000001")),
                 QStringLiteral("az E000000001 a 0000000001"));
    }

    void lineEndings_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<QByteArray>>("lines");
        const QList<QByteArray> two{"3,200,0715", "1,200,BB0123456789"};
        QTest::newRow("CR LF") << QByteArray("3,200,0715\r\n1,200,BB0123456789\r\n") << two;
        QTest::newRow("LF") << QByteArray("3,200,0715\n1,200,BB0123456789\n") << two;
        QTest::newRow("CR") << QByteArray("3,200,0715\r1,200,BB0123456789\r") << two;
        QTest::newRow("no last terminator") << QByteArray("3,200,0715\r\n1,200,BB0123456789") << two;
        QTest::newRow("mixed") << QByteArray("3,200,0715\r1,200,BB0123456789\n") << two;
        QTest::newRow("empty lines kept")
            << QByteArray("a\r\n\r\nb\n\nc\r\rd")
            << QList<QByteArray>{"a", "", "b", "", "c", "", "d"};
        QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << QList<QByteArray>{"a", "", "b"};
        QTest::newRow("empty file") << QByteArray() << QList<QByteArray>{};
        QTest::newRow("lone terminator") << QByteArray("\r\n") << QList<QByteArray>{""};
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF" "1,200,BB0123456789\r\n") << QList<QByteArray>{"1,200,BB0123456789"};
        QTest::newRow("byte-order mark only at the start")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF" "1\n\xEF\xBB\xBF" "1")
            << QList<QByteArray>{"\xEF\xBB\xBF" "1", "\xEF\xBB\xBF" "1"};
        QTest::newRow("part of a mark") << QByteArray("\xEF\xBB" "1") << QList<QByteArray>{"\xEF\xBB" "1"};
    }
    void lineEndings()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<QByteArray>, lines);
        const QString path = m_dir.filePath(QStringLiteral("endings.csv"));
        QVERIFY(writeFile(path, content));
        QCOMPARE(linesOf(path), lines);
    }

    void crLfAcrossChunks()
    {
        // A CR at the very end of one read and its LF at the start of the next
        // still end one line, not two.
        QByteArray content(64 * 1024 - 1, 'x');
        content += "\r\n1,200,BB0123456789\r\n";
        const QString path = m_dir.filePath(QStringLiteral("chunks.csv"));
        QVERIFY(writeFile(path, content));
        const QList<QByteArray> lines = linesOf(path);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1], QByteArray("1,200,BB0123456789"));
        // and a list saved again keeps that CR LF whole
        const QByteArray list = QByteArray("1,200,BB0123456789\r\n").repeated(3276) + QByteArray(15, 'y') + content.right(22);
        QVERIFY(writeFile(path, list));
        ListDocument document;
        QCOMPARE(document.load(path), FileFault::None);
        QCOMPARE(document.save(), FileFault::None);
        QCOMPARE(readFile(path), list);
    }

    void binaryFileReadInBoundedLines()
    {
        // 8 MB without a line end, starting with "1" and ending with a code:
        // read in bounded memory and still judged by its first and last characters.
        QByteArray content(8 * 1024 * 1024, '\0');
        content[0] = '1';
        content += ",DEADBEEF01\nnext";
        const QString path = m_dir.filePath(QStringLiteral("binary.bin"));
        QVERIFY(writeFile(path, content));
        CodeListReader reader;
        QCOMPARE(reader.open(path), FileFault::None);
        QByteArray line;
        QVERIFY(reader.readLine(line));
        QVERIFY(line.size() <= 4097);
        QCOMPARE(hexCode(judgeLine(line).code), QStringLiteral("DEADBEEF01"));
        QVERIFY(reader.readLine(line));
        QCOMPARE(line, QByteArray("next"));
        QVERIFY(!reader.readLine(line));
        QCOMPARE(reader.fault(), FileFault::None);
    }

    void openFaults()
    {
        CodeListReader reader;
        QCOMPARE(reader.open(QString()), FileFault::NoName);
        QCOMPARE(reader.open(m_dir.filePath(QStringLiteral("missing.csv"))), FileFault::Missing);
        QCOMPARE(reader.open(m_dir.path()), FileFault::NotRegular);   // a folder is no code list
        // A name that lost a character on its way in (typed, or not UTF-8) names another file.
        const QString mangled = m_dir.filePath(QStringLiteral("lista\uFFFD.csv"));
        QCOMPARE(reader.open(mangled), FileFault::BadName);
        QCOMPARE(appendReadout(mangled, {}), FileFault::BadName);
        QVERIFY(!QFile::exists(mangled));
        QVERIFY(!reader.isOpen());
    }

    void aFifoIsNeverWaitedOn()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("fifo.csv"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        CodeListReader reader;
        QCOMPARE(reader.open(fifo), FileFault::NotRegular);
        QCOMPARE(appendReadout(fifo, {codeOf("0123456789")}), FileFault::NotRegular);
    }

    void appendGivesOneHeaderPerReadout()
    {
        const QString path = m_dir.filePath(QStringLiteral("append.csv"));
        QFile::remove(path);
        QCOMPARE(appendReadout(path, {codeOf("0123456789")}), FileFault::None);
        QCOMPARE(readFile(path), QByteArray("3,200,0715\r\n1,200,BB0123456789\r\n"));
        QCOMPARE(appendReadout(path, {codeOf("0A0B0C0D0E"), codeOf("FFFFFFFFFF")}), FileFault::None);
        QCOMPARE(appendReadout(path, {}), FileFault::None);
        QCOMPARE(readFile(path), QByteArray("3,200,0715\r\n1,200,BB0123456789\r\n"
                                           "3,200,0715\r\n1,200,BB0A0B0C0D0E\r\n1,200,BBFFFFFFFFFF\r\n"
                                           "3,200,0715\r\n"));
    }

    void appendKeepsWhatWasThere_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        // Saved by an editor without a last line end: the old card and the new header stay apart.
        QTest::newRow("no last line end") << QByteArray("1,200,BB0000000001\n1,200,BB0000000002")
                                          << QByteArray("1,200,BB0000000001\n1,200,BB0000000002\r\n3,200,0715\r\n");
        QTest::newRow("LF") << QByteArray("1,200,BB0000000001\n") << QByteArray("1,200,BB0000000001\n3,200,0715\r\n");
        QTest::newRow("CR") << QByteArray("1,200,BB0000000001\r") << QByteArray("1,200,BB0000000001\r3,200,0715\r\n");
        QTest::newRow("empty") << QByteArray("") << QByteArray("3,200,0715\r\n");
    }
    void appendKeepsWhatWasThere()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const QString path = m_dir.filePath(QStringLiteral("edited.csv"));
        QVERIFY(writeFile(path, before));
        QCOMPARE(appendReadout(path, {}), FileFault::None);
        QCOMPARE(readFile(path), after);
    }

    void failedAppendLeavesFileAsItWas()
    {
        const QString path = m_dir.filePath(QStringLiteral("full.csv"));
        const QByteArray before("3,200,0715\r\n1,200,BB0123456789\r\n");
        QVERIFY(writeFile(path, before));
        QList<CardCode> many(100, codeOf("1122334455"));
        FileFault fault;
        {
            FileSizeLimit limit(rlim_t(before.size() + 50));   // room for the header and one line
            fault = appendReadout(path, many);
        }
        QCOMPARE(fault, FileFault::DiskFull);
        QCOMPARE(readFile(path), before);
    }

    void failedAppendToNewFileLeavesNoFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("new-full.csv"));
        FileFault fault;
        {
            FileSizeLimit limit(30);
            fault = appendReadout(path, QList<CardCode>(10, codeOf("1122334455")));
        }
        QCOMPARE(fault, FileFault::DiskFull);
        QVERIFY(!QFile::exists(path));
    }

    void appendToADeviceIsRefused()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        QCOMPARE(appendReadout(QStringLiteral("/dev/full"), {codeOf("0123456789")}), FileFault::NotRegular);
    }

    void appendFaults()
    {
        QCOMPARE(appendReadout(QString(), {}), FileFault::NoName);
        QCOMPARE(appendReadout(m_dir.filePath(QStringLiteral("no/such/folder.csv")), {}), FileFault::Missing);
        QVERIFY(appendReadout(m_dir.path(), {}) != FileFault::None);
    }

    void readOnlyFileUntouched()
    {
        if (::geteuid() == 0)
            QSKIP("root writes through file permissions");
        const QString path = m_dir.filePath(QStringLiteral("readonly.csv"));
        QVERIFY(writeFile(path, "3,200,0715\r\n"));
        QFile::setPermissions(path, QFile::ReadOwner);
        QCOMPARE(appendReadout(path, {codeOf("0123456789")}), FileFault::NoPermission);
        QCOMPARE(readFile(path), QByteArray("3,200,0715\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestCodeList)
#include "tst_codelist.moc"
