// The card window end to end: the real window offscreen, a list file in a
// throw-away home, the reader simulator on a pseudo-terminal.
#include "cards/cardwindow.h"
#include "cards/texts.h"
#include "tests/support/files.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/simulator.h"
#include "tests/support/testhome.h"
#include "tests/support/testclock.h"
#include "transfer/listrecovery.h"

#include <QApplication>
#include <QComboBox>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <unistd.h>

class TestCards : public QObject
{
    Q_OBJECT
    TestHome m_home;   // one per process: the settings store's place is fixed at first use

    // The simulated reader on port 3, holding the card lines of seed.
    static bool startReaderHolding(SimulatorProcess &sim, const QString &seed)
    {
        return sim.start({QStringLiteral("--port"), QStringLiteral("3"), QStringLiteral("--fast"), QStringLiteral("--seed"), seed});
    }

private slots:
    void checkEditAndSyncAList()
    {
        // The reader holds 1, 2, 3 and a card nobody listed; the list names 1, 2 and a new 4.
        const QString seed = m_home.file(QStringLiteral("reader.csv"));
        QVERIFY(writeFile(seed, "1,200,BB0000000001\n1,200,BB0000000002\n1,200,BB0000000003\n1,200,BB00DEADBEEF\n"));
        const QString list = m_home.file(QStringLiteral("lepcsohaz.csv"));
        QVERIFY(writeFile(list, "3,200,0715\r\n1,200,Kovács Béla,BB0000000001\r\n1,200,Nagy Anna,BB0000000002\r\n"
                                "1,200,\"Tóth, 2. em.\",BB0000000004\r\n"));
        SimulatorProcess sim;
        QVERIFY(startReaderHolding(sim, seed));
        ScriptedDialogs dialogs;
        TestClock clock(50);   // the first sync writes every slot: on the test clock
        CardWindow window(dialogs, clock);
        clock.settled = [&] { return sim.doneWith(window.requests().lastFrame); };
        QVERIFY(window.openList(list));
        window.show();
        CardTable &table = window.table();
        QCOMPARE(table.data(table.index(2, CardTable::Name), Qt::DisplayRole).toString(), QStringLiteral("Tóth, 2. em."));

        window.check();
        QCOMPARE(table.rowCount(), 3 + 2);   // the reader's 3 and DEADBEEF, not on the list
        QCOMPARE(table.data(table.index(1, CardTable::State), Qt::DisplayRole).toString(), Texts::heldWith(5));
        QCOMPARE(table.data(table.index(2, CardTable::State), Qt::DisplayRole).toString(), Texts::notHeld());
        QVERIFY(table.data(table.index(4, CardTable::Name), CardTable::ExtraRole).toBool());

        // Nagy Anna moves out; the step is undone and done again.
        table.remove({1});
        table.undoStack().undo();
        QCOMPARE(table.document().cardCount(), 3);
        table.undoStack().redo();
        QCOMPARE(table.document().cardCount(), 2);

        // The sync saves first (asked), shows its plan, asks, writes and reads back.
        window.findChild<QSpinBox *>()->setValue(5);
        dialogs.choices.append(Dialogs::Choice::Yes);
        dialogs.confirmAnswers.append(true);
        window.sync();
        QCOMPARE(readFile(list), QByteArray("3,200,0715\r\n1,200,Kovács Béla,BB0000000001\r\n"
                                            "1,200,\"Tóth, 2. em.\",BB0000000004\r\n"));
        QVERIFY(dialogs.details.value(0).contains(QStringLiteral("0000000004  Tóth, 2. em.")));
        // What goes is said in the question itself, by the name the list had.
        QVERIFY(dialogs.questions.last().contains(QStringLiteral("Kikerül: 3 kártya:\n  0000000002  Nagy Anna\n")));
        QCOMPARE(dialogs.messages.last(), Texts::syncDone(2, false));
        QCOMPARE(table.rowCount(), 2);   // the reader holds exactly the list now
        QCOMPARE(table.heldCount(), 2);
    }

    void aCheckCountsOnlyTheCardsValidToday()
    {
        // Kiss is valid; Szabó expired and is rightly out; Takarító expired and still opens the door.
        const QByteArray yesterday = QDate::currentDate().addDays(-1).toString(Qt::ISODate).toLatin1();
        const QString seed = m_home.file(QStringLiteral("held.csv"));
        QVERIFY(writeFile(seed, "1,200,BB0000000001\n1,200,BB0000000003\n"));
        const QString list = m_home.file(QStringLiteral("napok.csv"));
        QVERIFY(writeFile(list, "1,200,Kiss,BB0000000001\r\n1,200,Szabó," + yesterday + ",BB0000000002\r\n"
                                "1,200,Takarító," + yesterday + ",BB0000000003\r\n"));
        SimulatorProcess sim;
        QVERIFY(startReaderHolding(sim, seed));
        ScriptedDialogs dialogs;
        TestClock clock(50);
        CardWindow window(dialogs, clock);
        QVERIFY(window.openList(list));
        window.check();
        QCOMPARE(dialogs.messages.last(), QStringLiteral("A kártyaolvasó pontosan a lista 1 kártyáját tartalmazza.\nLejárt, de még a kártyaolvasóban van (1):\n"
                                                 "  0000000003  Takarító (utolsó nap: ") + QString::fromLatin1(yesterday) + QLatin1Char(')'));
        const CardTable &table = window.table();
        QCOMPARE(table.data(table.index(1, CardTable::State), Qt::DisplayRole).toString(), Texts::notHeld());
        QCOMPARE(table.data(table.index(2, CardTable::State), Qt::DisplayRole).toString(), Texts::expiredHeld(5));
        // Another door chosen: what was said of the reader on the cable is no longer said.
        for (QComboBox *chooser : window.findChildren<QComboBox *>())
            if (chooser->accessibleName() == Texts::DoorLabel.chopped(1))
                emit chooser->activated(0);
        QCOMPARE(table.data(table.index(2, CardTable::State), Qt::DisplayRole).toString(), QString());
    }

    void enterOnAnEmptyDayLeavesItEmpty()
    {
        const QString list = m_home.file(QStringLiteral("nap.csv"));
        QVERIFY(writeFile(list, "1,200,Kiss,BB0000000001\r\n"));
        ScriptedDialogs dialogs;
        TestClock clock;
        CardWindow window(dialogs, clock);
        QVERIFY(window.openList(list));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QModelIndex day = window.view()->model()->index(0, CardTable::LastDay);
        window.view()->setCurrentIndex(day);
        window.view()->setFocus();
        QTest::keyClick(window.view(), Qt::Key_F2);
        QVERIFY(QApplication::focusWidget() && QApplication::focusWidget()->accessibleName() == Texts::LastDayColumn);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!window.table().document().card(0).lastDay.isValid());   // no day: not "today", gone tomorrow
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);   // the closed editor goes
        window.view()->setFocus();
        QTest::keyClick(window.view(), Qt::Key_F2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);   // a day the person chose
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(window.table().document().card(0).lastDay.isValid());
        QCOMPARE(window.table().undoStack().undoText(), Texts::LastDayStep);   // "Visszavonás az utolsó nap módosítása"
        // Tab goes as the row reads: door, port, opening time.
        QList<QString> chain;
        QWidget *door = nullptr;
        for (QComboBox *chooser : window.findChildren<QComboBox *>())
            door = chooser->accessibleName() == Texts::DoorLabel.chopped(1) ? chooser : door;
        for (QWidget *at = door; chain.size() < 3; at = at->nextInFocusChain())
            if (!at->accessibleName().isEmpty() && at->isVisible() && at->focusPolicy() & Qt::TabFocus)
                chain.append(at->accessibleName());
        QCOMPARE(chain, QList<QString>({Texts::DoorLabel.chopped(1), Texts::PortLabel.chopped(1), Texts::TimeLabel.chopped(1)}));
    }

    void editsTakenBackStayKeptUntilSaved()
    {
        const QString list = m_home.file(QStringLiteral("visszavett.csv"));
        QVERIFY(writeFile(list, "1,200,Kiss,BB0000000001\r\n"));
        ListDocument edited;
        QCOMPARE(edited.load(list), FileFault::None);
        edited.addCard(codeOf("0000000002"), QStringLiteral("Nagy"));
        QCOMPARE(keepUnsavedEdits(edited), FileFault::None);   // kept at a logout
        ScriptedDialogs dialogs;
        dialogs.answers.append(0);   // "Visszaveszem"
        TestClock clock;
        CardWindow window(dialogs, clock);
        QVERIFY(window.openList(list));
        QCOMPARE(window.table().document().cardCount(), 2);
        QVERIFY(findUnsavedEdits(list));   // a power cut before the save loses nothing
        QVERIFY(window.save());
        QVERIFY(!findUnsavedEdits(list));
    }

    void saveAsOverAnotherUsersFileIsAskedAbout()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to make a file of another user's");
        const QString list = m_home.file(QStringLiteral("sajat.csv")), theirs = m_home.file(QStringLiteral("masoke.csv"));
        QVERIFY(writeFile(list, "1,200,Kiss,BB0000000001\r\n") && writeFile(theirs, "1,200,BB00000000FF\r\n"));
        QCOMPARE(::chown(QFile::encodeName(theirs).constData(), 65534, 65534), 0);
        ScriptedDialogs dialogs;
        TestClock clock;
        CardWindow window(dialogs, clock);
        QVERIFY(window.openList(list));
        dialogs.fileAnswers.append(theirs);
        dialogs.confirmAnswers.append(false);
        QVERIFY(!window.saveAs());
        QVERIFY(dialogs.questions.last().startsWith(QStringLiteral("Ez a fájl nem az Öné")));
        QCOMPARE(readFile(theirs), QByteArray("1,200,BB00000000FF\r\n"));
    }

    void aRestoreQuestionMarksExpiredCardsPutBack()
    {
        SyncPlan plan;
        plan.comparison.missing = {{codeOf("0000000001"), 5}, {codeOf("0000000002"), 5}};
        const CodeList names = judgeCodeList("1,200,Takarító,2026-12-01,BB0000000001\r\n1,200,Kiss,BB0000000002\r\n");
        QVERIFY(Texts::restoreQuestion(QDateTime::currentDateTime(), plan, names, QDate(2026, 12, 11))
                    .endsWith(QStringLiteral("visszakerül (1):\n  0000000001  Takarító (utolsó nap: 2026-12-01)")));
    }

    void adoptsExactlyTheSelectedReaderCards()
    {
        const QString seed = m_home.file(QStringLiteral("reader.csv"));
        QByteArray held = "1,200,BB0000000001\n";
        for (char c : QByteArray("ABCDEF0"))
            held += "1,200,BB00000000A" + QByteArray(1, c) + "\n";
        QVERIFY(writeFile(seed, held));
        const QString list = m_home.file(QStringLiteral("lista.csv"));
        QVERIFY(writeFile(list, "1,200,Kovács,BB0000000001\r\n"));
        SimulatorProcess sim;
        QVERIFY(startReaderHolding(sim, seed));
        ScriptedDialogs dialogs;
        TestClock clock(50);
        CardWindow window(dialogs, clock);
        QVERIFY(window.openList(list));
        window.show();
        window.check();
        QCOMPARE(window.table().rowCount(), 1 + 7);
        // Rows 1-7 are the reader's AA..AF and A0; the chosen ones, adjacent and not, the last included.
        for (int row : {2, 3, 5, 7})
            window.view()->selectionModel()->select(window.view()->model()->index(row, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        window.adoptSelected();
        QStringList codes;
        for (int i = 0; i < window.table().document().cardCount(); ++i)
            codes.append(hexCode(window.table().document().card(i).code));
        QCOMPARE(codes, QStringList({"0000000001", "00000000AB", "00000000AC", "00000000AE", "00000000A0"}));
        window.table().undoStack().undo();   // one step
        QCOMPARE(window.table().document().cardCount(), 1);
    }
};

QTEST_MAIN(TestCards)
#include "tst_cards.moc"
