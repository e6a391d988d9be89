// The real main window, offscreen: its layout, start-up, port choice, file
// choice, exit, and both transfers driven by clicks against the simulator.
#include "desktop/dialogs.h"
#include "app/mainwindow.h"
#include "desktop/liveclock.h"
#include "app/singleinstance.h"
#include "app/texts.h"
#include "tests/support/files.h"
#include "tests/support/pty.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/simulator.h"
#include "tests/support/testhome.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <sys/ioctl.h>

namespace {

// Runs an action once the event loop turns, e.g. in the middle of a transfer.
void later(int ms, const std::function<void()> &action)
{
    QTimer::singleShot(ms, qApp, action);
}

// Runs an action once, at the first turn of the event loop that finds the condition true:
// in the middle of a transfer however slow the machine is.
void once(const std::function<bool()> &condition, const std::function<void()> &action)
{
    auto *look = new QTimer(qApp);
    QObject::connect(look, &QTimer::timeout, qApp, [=] {
        if (!condition())
            return;
        look->stop();
        look->deleteLater();
        action();
    });
    look->start(10);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;
    ScriptedDialogs m_dialogs;
    LiveClock m_clock;
    std::unique_ptr<MainWindow> m_form;

    MainWindow &form()
    {
        if (!m_form)
            m_form = std::make_unique<MainWindow>(m_dialogs, m_clock);
        return *m_form;
    }
    template<typename T>
    T *control(const char *name)
    {
        T *widget = form().findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    int px(int twips) { return qRound(twips * form().logicalDpiX() / 1440.0); }

    // Start-up, the window shown, and the file question of the last step answered.
    void start(const QString &fileAnswer = QString())
    {
        if (!fileAnswer.isEmpty())
            m_dialogs.fileAnswers.append(fileAnswer);
        QVERIFY(form().start());
        form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&form()));
        QTRY_COMPARE(m_dialogs.fileDialogs, 1);
    }

    // Start-up with a code list of this content chosen, and an opening time picked.
    QString startWithList(const char *name, const QByteArray &content, const QString &openingTime = QStringLiteral("5"))
    {
        const QString list = m_home.file(QLatin1String(name));
        if (!writeFile(list, content))
            qFatal("cannot write %s", name);
        start(list);
        control<QComboBox>("Combo2")->setCurrentText(openingTime);
        return list;
    }

    std::unique_ptr<SimulatorProcess> startReader(int port, QStringList options = {QStringLiteral("--fast")})
    {
        auto sim = std::make_unique<SimulatorProcess>();
        if (!sim->start(QStringList{QStringLiteral("--port"), QString::number(port)} + options))
            qFatal("the reader simulator did not start");
        return sim;
    }

    void pickPort(const QString &number)
    {
        QComboBox *combo = control<QComboBox>("Combo1");
        const int index = combo->findText(number);
        QVERIFY(index >= 0);
        // As the user does it: the list's arrow keys activate the entry.
        combo->setFocus();
        while (combo->currentIndex() != index)
            QTest::keyClick(combo, combo->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
    }

    // Drops the port list down and up again, as a look at it does.
    QStringList openPortList()
    {
        QComboBox *combo = control<QComboBox>("Combo1");
        combo->showPopup();
        QStringList entries;
        for (int i = 0; i < combo->count(); ++i)
            entries.append(combo->itemText(i));
        combo->hidePopup();
        return entries;
    }

    // Picks an entry with the mouse from the dropped-down list.
    void pickFromList(const QString &number)
    {
        QComboBox *combo = control<QComboBox>("Combo1");
        combo->showPopup();
        const int index = combo->findText(number);
        QVERIFY(index >= 0);
        QAbstractItemView *view = combo->view();
        QTRY_VERIFY(view->isVisible());
        const QRect item = view->visualRect(view->model()->index(index, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_VERIFY(!view->isVisible());
    }

private slots:
    void init()
    {
        TestHome::reset();
        m_dialogs = ScriptedDialogs();
    }
    void cleanup()
    {
        m_form.reset();
    }

    // --- layout ---

    void shadowsLieUnderTheirControls_data()
    {
        QTest::addColumn<QString>("shadow");
        QTest::addColumn<QString>("under");
        QTest::addColumn<QPoint>("shiftTwips");
        QTest::newRow("Label4") << "Label4" << "Command6" << QPoint(90, 45);
        QTest::newRow("Label5") << "Label5" << "Command1" << QPoint(120, 45);
        QTest::newRow("Label9") << "Label9" << "Frame1" << QPoint(120, 75);
        QTest::newRow("Label12") << "Label12" << "Combo1" << QPoint(45, 15);
        QTest::newRow("Label11") << "Label11" << "Command19" << QPoint(60, 60);
    }
    void shadowsLieUnderTheirControls()
    {
        QFETCH(QString, shadow);
        QFETCH(QString, under);
        QFETCH(QPoint, shiftTwips);
        QWidget *label = form().findChild<QLabel *>(shadow);
        QWidget *control = form().findChild<QWidget *>(under);
        QCOMPARE(label->parentWidget(), control->parentWidget());
        const QPoint shift = label->pos() - control->pos();
        QVERIFY(qAbs(shift.x() - px(shiftTwips.x())) <= 1 && qAbs(shift.y() - px(shiftTwips.y())) <= 1);
        // Only a strip along the right and bottom edges shows.
        QVERIFY(label->geometry().intersects(control->geometry()));
        QVERIFY(label->geometry().right() > control->geometry().right());
    }

    void windowIsFixedWhiteAndTitled()
    {
        QCOMPARE(form().windowTitle(), QStringLiteral("Vivadizuzud"));
        QCOMPARE(form().size(), QSize(px(6195), px(2820)));
        QCOMPARE(form().minimumSize(), form().maximumSize());
        QVERIFY(!(form().windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
        QVERIFY(form().windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(form().palette().color(QPalette::Window), QColor(255, 255, 255));
    }

    void arrangement()
    {
        const auto at = [&](const char *name) { return control<QWidget>(name)->geometry(); };
        // Left of each other on one row, top to bottom in the window, all inside it.
        QVERIFY(at("Label27").bottom() < at("Text4").top());
        QVERIFY(at("Text4").right() < at("Text3").left());
        QVERIFY(at("Text4").top() < at("Text3").bottom() && at("Text3").top() < at("Text4").bottom());
        QVERIFY(at("Label1").right() < at("Combo1").left() && at("Combo1").top() < at("Text4").top());
        QVERIFY(at("Text3").bottom() < at("Frame1").top() && at("Frame1").bottom() < at("Combo2").top());
        QVERIFY(at("Label2").right() < at("Combo2").left() && at("Combo2").right() < at("Command19").left());
        QVERIFY(at("Command6").right() < at("Command1").left());
        for (QWidget *w : form().findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(form().rect().contains(w->geometry()), qPrintable(w->objectName()));
        QCOMPARE(at("Frame1"), QRect(px(120), px(1185), px(5955), px(855)));
        QCOMPARE(at("Text4"), QRect(px(120), px(840), px(3915), px(255)));
    }

    void textsFontsAndTips()
    {
        QCOMPARE(control<QPushButton>("Command19")->text(), QStringLiteral("Kilép"));
        QCOMPARE(control<QGroupBox>("Frame1")->title(), QStringLiteral("Kártyakód memória"));
        QCOMPARE(control<QPushButton>("Command1")->text(), QStringLiteral("Rátöltés az SD kártyáról"));
        QCOMPARE(control<QPushButton>("Command6")->text(), QStringLiteral("Kiolvasás az SD kártyára"));
        QVERIFY(control<QWidget>("ProgressBar1")->geometry() == QRect(0, 0, form().width(), px(180)));

        // The Windows faces fall back to a face with their metrics.
        const QFont big = control<QPushButton>("Command19")->font();
        QCOMPARE(big.pointSizeF(), 12.0);
        QCOMPARE(QFontInfo(big).family(), QStringLiteral("Liberation Sans"));
        QCOMPARE(QFontInfo(control<QPushButton>("Command1")->font()).family(), QStringLiteral("Liberation Sans"));
        for (QChar accented : QStringLiteral("őűáéíóöüú"))
            QVERIFY(QFontMetrics(big).inFont(accented));

        QCOMPARE(control<QPushButton>("Command6")->toolTip(), QStringLiteral("Kártya leolvasó adatainak PC-re mentése."));
        int withTips = 0;
        for (QWidget *w : form().findChildren<QWidget *>())
            withTips += !w->toolTip().isEmpty();
        QCOMPARE(withTips, 3);
    }

    void emptyBeforeStartUp()
    {
        QCOMPARE(control<QComboBox>("Combo1")->count(), 0);
        QCOMPARE(control<QComboBox>("Combo2")->count(), 0);
        QVERIFY(control<QLineEdit>("Text3")->text().isEmpty());
        QVERIFY(control<QLineEdit>("Text4")->text().isEmpty());
        QProgressBar *bar = control<QProgressBar>("ProgressBar1");
        QCOMPARE(bar->minimum(), 0);
        QVERIFY(bar->maximum() > 0);   // a real, empty bar; not a busy indicator
        QCOMPARE(bar->value(), 0);
        QVERIFY(control<QComboBox>("Combo1")->isEditable());
        QVERIFY(control<QComboBox>("Combo2")->isEditable());
    }

    void labelsLieBeneathAndShadowCaptionsAreCovered()
    {
        for (QLabel *label : form().findChildren<QLabel *>()) {
            const QObjectList siblings = label->parentWidget()->children();
            for (QObject *sibling : siblings) {
                if (sibling->isWidgetType() && !qobject_cast<QLabel *>(sibling))
                    QVERIFY2(siblings.indexOf(label) < siblings.indexOf(sibling), qPrintable(label->objectName()));
            }
        }
        // The captions sit in the corners their controls cover.
        QVERIFY(control<QWidget>("Frame1")->geometry().contains(control<QLabel>("Label9")->geometry().topLeft()));
        QVERIFY(control<QWidget>("Combo1")->geometry().contains(control<QLabel>("Label12")->geometry().topLeft()));
    }

    void tabOrder()
    {
        const QStringList expected{"Command19", "Combo1", "Command6", "Command1", "Text3", "Text4", "Combo2"};
        QStringList order;
        QWidget *w = control<QWidget>("Command19");
        do {
            if (expected.contains(w->objectName()) && !order.contains(w->objectName()))
                order.append(w->objectName());
            w = w->nextInFocusChain();
        } while (w != control<QWidget>("Command19"));
        QCOMPARE(order, expected);
        for (const char *name : {"Frame1", "Label1", "Label2", "ProgressBar1"})
            QCOMPARE(control<QWidget>(name)->focusPolicy(), Qt::NoFocus);
    }

    void enterEscAndStrayClicksDoNothing()
    {
        start();
        m_dialogs.messages.clear();   // start-up's word about the missing port
        for (const char *name : {"Text4", "Text3", "Combo2", "Combo1"}) {
            control<QWidget>(name)->setFocus();
            QTest::keyClick(control<QWidget>(name), Qt::Key_Return);
            QTest::keyClick(control<QWidget>(name), Qt::Key_Escape);
        }
        for (const char *name : {"Label1", "Label27", "Frame1", "ProgressBar1", "Label9"}) {
            QTest::mouseClick(control<QWidget>(name), Qt::LeftButton);
            QTest::mouseDClick(control<QWidget>(name), Qt::LeftButton);
        }
        QVERIFY(form().isVisible());
        QCOMPARE(m_dialogs.messages, QStringList());
        QCOMPARE(m_dialogs.questions, QStringList());
        QCOMPARE(m_dialogs.fileDialogs, 1);   // only start-up's
        QCOMPARE(control<QComboBox>("Combo2")->count(), 127);
    }

    void screenReaderNamesEveryControl()
    {
        // The whole tree a screen reader walks, from the window down.
        QStringList objects, texts;
        const std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
            if (node->object())
                objects.append(node->object()->objectName());
            texts.append(node->text(QAccessible::Name));
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(&form()));
        for (const char *decoration : {"Label4", "Label5", "Label9", "Label11", "Label12"})
            QVERIFY2(!objects.contains(QLatin1String(decoration)), decoration);
        QVERIFY(!texts.contains(QStringLiteral("Label9")) && !texts.contains(QStringLiteral("Label4")));
        QVERIFY(objects.contains(QStringLiteral("Command6")));   // inside the frame, still there

        const auto labelOf = [&](const char *name) {
            const auto relations = QAccessible::queryAccessibleInterface(control<QWidget>(name))->relations(QAccessible::Label);
            return relations.isEmpty() ? QString() : relations.first().first->text(QAccessible::Name);
        };
        const auto nameOf = [&](const char *name) {
            return QAccessible::queryAccessibleInterface(control<QWidget>(name))->text(QAccessible::Name);
        };
        QCOMPARE(labelOf("Combo1"), QStringLiteral("Comm"));
        QCOMPARE(labelOf("Combo2"), QStringLiteral("Nyitási idő:"));
        QCOMPARE(labelOf("Text4"), QStringLiteral("Az SD kártya itt van:"));
        QCOMPARE(nameOf("Text4"), QStringLiteral("Az SD kártya itt van:"));
        QCOMPARE(nameOf("Text3"), Texts::ProgressFigureName);
        QCOMPARE(nameOf("ProgressBar1"), Texts::ProgressBarName);
        QCOMPARE(nameOf("Frame1"), QStringLiteral("Kártyakód memória"));
    }

    // --- start-up and ports ---

    void portListFollowsTheCable()
    {
        start();   // no cable yet
        QCOMPARE(m_dialogs.messages, QStringList{Texts::NoFreePort});
        QComboBox *combo1 = control<QComboBox>("Combo1");
        QCOMPARE(combo1->count(), 0);

        auto cable = startReader(4);   // plugged in
        const QStringList one{QStringLiteral("4")};
        QCOMPARE(openPortList(), one);
        QVERIFY(!form().port().isOpen());   // opening the list opens nothing
        QCOMPARE(TestHome::savedPort(), QString());
        pickFromList(QStringLiteral("4"));
        QVERIFY(form().port().isOpen());
        QCOMPARE(TestHome::savedPort(), QStringLiteral("4"));

        {
            auto other = startReader(6);   // a second device comes and goes
            QCOMPARE(openPortList(), QStringList({QStringLiteral("4"), QStringLiteral("6")}));
            QCOMPARE(combo1->currentText(), QStringLiteral("4"));
            QCOMPARE(form().port().devicePath(), cable->devicePath());
        }
        QCOMPARE(openPortList(), one);
        QCOMPARE(TestHome::savedPort(), QStringLiteral("4"));

        // Pulled out and plugged back: the same number, a new device.
        const QString list = m_home.file(QStringLiteral("replugged.csv"));
        control<QLineEdit>("Text4")->setText(list);
        cable.reset();
        QTRY_COMPARE(m_dialogs.messages.size(), 2);
        QCOMPARE(m_dialogs.messages[1], Texts::lineLostInWindow(4));
        cable = startReader(4);
        QCOMPARE(openPortList(), one);
        pickFromList(QStringLiteral("4"));
        QCOMPARE(form().port().devicePath(), cable->devicePath());
        QTest::mouseClick(control<QPushButton>("Command6"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages.last(), Texts::ReadoutDone);
        QCOMPARE(readFile(list), QByteArray("3,200,0715\r\n"));
    }

    void startUpSelectsSavedPortWithoutWritingSettings()
    {
        PseudoTerminal three, seven, held;
        TestHome::mapPort(3, three.path());
        TestHome::mapPort(7, seven.path());
        TestHome::mapPort(5, held.path());
        TestHome::mapPort(300, seven.path());   // above 256: never listed
        DeviceHolder otherProgram(held.path());
        QVERIFY(otherProgram.isValid());
        TestHome::setSavedPort(QStringLiteral("7"));
        const QByteArray settingsBefore = readFile(m_home.settingsFile());

        start(QStringLiteral("/home/gondnok/lista.csv"));
        QComboBox *combo1 = control<QComboBox>("Combo1");
        QCOMPARE(combo1->count(), 2);
        QCOMPARE(combo1->itemText(0), QStringLiteral("3"));
        QCOMPARE(combo1->itemText(1), QStringLiteral("7"));
        QCOMPARE(combo1->currentText(), QStringLiteral("7"));
        QVERIFY(form().port().isOpen());
        QCOMPARE(form().port().devicePath(), seven.path());
        QCOMPARE(form().port().receiveBufferSize(), 32000);
        QCOMPARE(form().port().settings(), QStringLiteral("9600,n,8,1"));
        QCOMPARE(form().state().PortName, QStringLiteral("7"));
        QCOMPARE(form().state().PortListLoading, qint16(0));
        QCOMPARE(form().state().readerAddress, qint16(1));
        QCOMPARE(readFile(m_home.settingsFile()), settingsBefore);

        QComboBox *combo2 = control<QComboBox>("Combo2");
        QCOMPARE(combo2->count(), 127);
        QCOMPARE(combo2->itemText(0), QStringLiteral("1"));
        QCOMPARE(combo2->itemText(126), QStringLiteral("127"));
        QVERIFY(combo2->currentText().isEmpty());
        QCOMPARE(m_dialogs.filter, QStringLiteral("Szöveg (*.csv)"));
        QCOMPARE(control<QLineEdit>("Text4")->text(), QStringLiteral("/home/gondnok/lista.csv"));
        QCOMPARE(m_dialogs.messages, QStringList());
    }

    void startUpWithoutOrWithStaleSavedPort_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::newRow("never saved") << QString();
        QTest::newRow("saved port gone") << QStringLiteral("9");
    }
    void startUpWithoutOrWithStaleSavedPort()
    {
        QFETCH(QString, saved);
        PseudoTerminal three, seven;
        TestHome::mapPort(3, three.path());
        TestHome::mapPort(7, seven.path());
        TestHome::setSavedPort(saved);
        start();
        QCOMPARE(control<QComboBox>("Combo1")->currentText(), QStringLiteral("3"));
        QCOMPARE(form().port().devicePath(), three.path());
        QCOMPARE(TestHome::savedPort(), saved);   // unwritten until the user picks a port
        QVERIFY(control<QLineEdit>("Text4")->text().isEmpty());   // the file question was cancelled
    }

    void startUpWithoutFreePort()
    {
        start();
        QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral("A gépen nincs szabad port!")});
        // The only port held by another program (the command line, say): who holds it is said.
        PseudoTerminal taken;
        TestHome::mapPort(8, taken.path());
        DeviceHolder otherProgram(taken.path());
        QVERIFY(Texts::noFreePort().endsWith(QStringLiteral("A 8-as port (%1) foglalt, használja: %2 sleep.")
                                                  .arg(taken.path()).arg(otherProgram.pid())));
        TestHome::mapPort(8, {});
        QCOMPARE(control<QComboBox>("Combo1")->count(), 0);
        QVERIFY(!form().port().isOpen());
        QCOMPARE(control<QComboBox>("Combo2")->count(), 127);
        QCOMPARE(m_dialogs.fileDialogs, 1);
    }

    void secondInstanceIsRefused()
    {
        SingleInstance first;
        QVERIFY(first.isFirst());
        PseudoTerminal pty;
        TestHome::mapPort(3, pty.path());
        QVERIFY(!form().start());
        QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral("A gépen már fut ez a program.")});
        QCOMPARE(control<QComboBox>("Combo1")->count(), 0);
        QVERIFY(!form().port().isOpen());
    }

    void changeOfPortReopensAndRemembers()
    {
        PseudoTerminal three, seven;
        TestHome::mapPort(3, three.path());
        TestHome::mapPort(7, seven.path());
        start();
        pickPort(QStringLiteral("7"));
        QCOMPARE(form().port().devicePath(), seven.path());
        QVERIFY(form().port().isOpen());
        QCOMPARE(form().port().receiveBufferSize(), 32000);
        QCOMPARE(TestHome::savedPort(), QStringLiteral("7"));
        pickPort(QStringLiteral("3"));
        QCOMPARE(form().port().devicePath(), three.path());
        QCOMPARE(TestHome::savedPort(), QStringLiteral("3"));
        QCOMPARE(m_dialogs.messages, QStringList());
    }

    void lostLineIsReportedOnceAndAnotherPortCanBePicked()
    {
        PseudoTerminal three, seven;
        TestHome::mapPort(3, three.path());
        TestHome::mapPort(7, seven.path());
        start();
        three.closeMaster();   // the cable of port 3 is pulled
        QTRY_COMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0], Texts::lineLostInWindow(3));
        QVERIFY(!form().port().isOpen());
        form().port().bytesWaiting();   // every look at the lost line after it is said
        QCoreApplication::processEvents();
        QCOMPARE(m_dialogs.messages.size(), 1);

        // With no port open, the port the user picks is the one opened.
        pickPort(QStringLiteral("7"));
        QVERIFY(form().port().isOpen());
        QCOMPARE(form().port().devicePath(), seven.path());
        QCOMPARE(form().port().receiveBufferSize(), 32700);
        QCOMPARE(form().port().settings(), QStringLiteral("9600,N,8,1"));
        QCOMPARE(TestHome::savedPort(), QStringLiteral("7"));
    }

    void portTakenMeanwhileIsReported()
    {
        PseudoTerminal three, seven;
        TestHome::mapPort(3, three.path());
        TestHome::mapPort(7, seven.path());
        start();
        auto otherProgram = std::make_unique<ExclusiveHold>(seven.path());   // took port 7 after the scan
        pickPort(QStringLiteral("7"));
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY(m_dialogs.messages[0].contains(QStringLiteral("A 7-es port")));
        QVERIFY(m_dialogs.messages[0].contains(QStringLiteral("másik program")));
        QVERIFY(!form().port().isOpen());
        QVERIFY(form().isVisible());
        otherProgram.reset();
        pickPort(QStringLiteral("3"));
        QVERIFY(form().port().isOpen());
    }

    // --- file choice and exit ---

    void chooseFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("asks");
        QTest::newRow("csv") << "/tmp/a.csv" << false;
        QTest::newRow("CSV") << "/tmp/a.CSV" << true;
        QTest::newRow("Csv") << "/tmp/a.Csv" << true;
        QTest::newRow("txt") << "/tmp/a.txt" << true;
        QTest::newRow("no dot") << "/tmp/acsv" << false;
    }
    void chooseFile()
    {
        QFETCH(QString, text);
        QFETCH(bool, asks);
        start();
        QLineEdit *text4 = control<QLineEdit>("Text4");
        text4->setText(text);
        QTest::mouseDClick(text4, Qt::LeftButton);
        QCOMPARE(m_dialogs.fileDialogs, asks ? 2 : 1);
        QCOMPARE(text4->text(), asks ? QString() : text);   // a cancelled dialog empties it
    }

    void exitAsksFirst()
    {
        start();
        m_dialogs.confirmAnswers = {false, true};
        QTest::mouseClick(control<QPushButton>("Command19"), Qt::LeftButton);
        QCOMPARE(m_dialogs.questions, QStringList{QStringLiteral("Ki akar lépni?")});
        QVERIFY(form().isVisible());
        QTest::mouseClick(control<QPushButton>("Command19"), Qt::LeftButton);
        QVERIFY(!form().isVisible());
    }

    void realDialogsSpeakHungarianWithoutIcon()
    {
        installQtHungarian();
        QtDialogs dialogs(Texts::WindowTitle);
        QString title, cancelText;
        QMessageBox::Icon icon = QMessageBox::Information;
        later(100, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            icon = box->icon();
            cancelText = box->button(QMessageBox::Cancel)->text();
            QTest::keyClick(box, Qt::Key_Escape);   // Esc counts as Cancel
        });
        QVERIFY(!dialogs.confirm(nullptr, Texts::ExitQuestion));
        QCOMPARE(title, QStringLiteral("Vivadizuzud"));
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(cancelText, QStringLiteral("Mégse"));

        later(100, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                QTest::keyClick(box, Qt::Key_Return);
        });
        QVERIFY(dialogs.confirm(nullptr, Texts::ExitQuestion));

        QStringList filters;
        QString folder;
        later(100, [&] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                filters = dialog->nameFilters();
                folder = dialog->directory().absolutePath();
                dialog->reject();
            }
        });
        QCOMPARE(dialogs.openFileName(nullptr, Texts::FileFilter), QString());
        QCOMPARE(filters, QStringList{QStringLiteral("Szöveg (*.csv)")});
        QCOMPARE(folder, QDir::homePath());   // not wherever the program was started from

        // A name typed in is taken as it is, with .csv added; the next dialog opens beside it.
        const QString typed = m_home.file(QStringLiteral("uj-lista"));
        later(100, [&] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                dialog->setDirectory(m_home.path());
                dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("uj-lista"));
                QMetaObject::invokeMethod(dialog, "accept");   // the Open button
                if (dialog->isVisible())
                    dialog->reject();
            }
        });
        QCOMPARE(dialogs.openFileName(nullptr, Texts::FileFilter), typed + QStringLiteral(".csv"));
        later(100, [&] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                folder = dialog->directory().absolutePath();
                dialog->reject();
            }
        });
        dialogs.openFileName(nullptr, Texts::FileFilter);
        QCOMPARE(folder, m_home.path());
    }

    // --- transfers through the window ---

    void uploadThroughTheWindow()
    {
        auto sim = startReader(3);
        // A line that looks like a card without starting with "1" is passed over, as ever, and counted.
        const QString list = startWithList("haz.csv", "3,200,0715\r\n1,200,BB0123456789\r\n7;Lakó;1;200;BB0000000007\r\n"
                                                      "1,200,BB0A0B0C0D0E\r\n", QStringLiteral("9"));
        QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral("A rátöltés az SD kártyáról kész.\n1 sort kihagytam, amely "
                                                                "kártyakóddal végződik, de nem „1”-gyel kezdődik (az első: 3. sor).")});
        const QStringList requests = sim->requests();
        QCOMPARE(requests.size(), 2);
        QVERIFY(requests[0].startsWith(QStringLiteral("01 01 23 45 67 89 09 1C E0 06")));
        QVERIFY(requests[1].startsWith(QStringLiteral("01 0A 0B 0C 0D 0E 09 1C DA 06")));
        QCOMPARE(form().state().UploadBusy, qint16(0));
        QVERIFY(control<QLineEdit>("Text3")->text().isEmpty());
        QCOMPARE(control<QProgressBar>("ProgressBar1")->value(), 0);
        QCOMPARE(m_dialogs.fileDialogs, 1);   // a name ending in csv is used as it is
    }

    void uploadRefusesBadOpeningTime_data()
    {
        QTest::addColumn<QString>("time");
        for (const char *t : {"", "0", "128", "300", "abc", "5x", "-3", "1.5"})
            QTest::newRow(*t ? t : "empty") << QString::fromLatin1(t);
    }
    void uploadRefusesBadOpeningTime()
    {
        QFETCH(QString, time);
        auto sim = startReader(3);
        const QString list = startWithList("time.csv", "1,200,BB0123456789\r\n", time);
        QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages, QStringList{Texts::SetOpeningTime});
        QCOMPARE(sim->requests(), QStringList());
        QCOMPARE(form().state().UploadBusy, qint16(0));
    }

    void uploadAsksForFileUnlessCsv()
    {
        auto sim = startReader(3);
        // Start-up's question is answered with the upper-case name.
        startWithList("UPPER.CSV", "1,200,BB0000000001\r\n", QStringLiteral("127"));
        QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
        QCOMPARE(m_dialogs.fileDialogs, 1);   // CSV counts for the upload
        QVERIFY(sim->requests().value(0).contains(QStringLiteral(" 7F 1C E0 06 ")));

        control<QLineEdit>("Text4")->setText(m_home.file(QStringLiteral("list.txt")));
        m_dialogs.messages.clear();
        QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);   // cancelled dialog
        QCOMPARE(m_dialogs.fileDialogs, 2);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0], Texts::codeListUnreadable(QString(), FileFault::NoName));
        QCOMPARE(form().state().UploadBusy, qint16(0));
        QCOMPARE(sim->requests().size(), 1);
    }

    void uploadFailuresAreReported_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("cards");
        QTest::addColumn<QString>("message");
        QTest::newRow("refused") << QStringList{"--fast", "--refuse-write", "2"} << 3 << Texts::WriteFailed;
        QTest::newRow("too many cards") << QStringList{"--fast"} << 1234 << Texts::tooManyCards(1233) + QStringLiteral(" Semmit sem küldtem el.");
        QTest::newRow("line lost")
            << QStringList{"--fast", "--hangup-after-write", "1"} << 3
            << (Texts::WriteFailed + QLatin1Char('\n') + Texts::lineLostInWindow(3));
    }
    void uploadFailuresAreReported()
    {
        QFETCH(QStringList, options);
        QFETCH(int, cards);
        QFETCH(QString, message);
        auto sim = startReader(3, options);
        QByteArray text;
        for (int i = 0; i < cards; ++i)
            text += "1,200,BB" + QByteArray::number(i).rightJustified(10, '0') + "\r\n";
        const QString list = startWithList("fail.csv", text);
        QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
        form().port().bytesWaiting();   // a late report of the lost line would show up here
        QCoreApplication::processEvents();
        QCOMPARE(m_dialogs.messages, QStringList{message});
        QCOMPARE(form().state().UploadBusy, qint16(0));
        QVERIFY(control<QLineEdit>("Text3")->text().isEmpty());
        QCOMPARE(control<QProgressBar>("ProgressBar1")->value(), 0);
    }

    void transfersWithoutPort()
    {
        const QString list = startWithList("noport.csv", "1,200,BB0123456789\r\n");
        m_dialogs.messages.clear();
        QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
        QTest::mouseClick(control<QPushButton>("Command6"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages, QStringList({Texts::noPortOpen(), Texts::noPortOpen()}));
        QCOMPARE(readFile(list), QByteArray("1,200,BB0123456789\r\n"));
    }

    void readoutThroughTheWindow()
    {
        auto sim = startReader(3);
        const QString list = startWithList("kiolvasott.csv", "1,200,BB0000000001\r\n");
        QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);   // one card into the reader
        m_dialogs.messages.clear();
        QTest::mouseClick(control<QPushButton>("Command6"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral("A kódmemória kiolvasása és az SD kártyára átírás kész.")});
        QCOMPARE(readFile(list), QByteArray("1,200,BB0000000001\r\n3,200,0715\r\n1,200,BB0000000001\r\n"));
        QCOMPARE(control<QLineEdit>("Text3")->text(), QStringLiteral("20490"));   // the last count stays
        QCOMPARE(control<QProgressBar>("ProgressBar1")->value(), 0);
        QCOMPARE(control<QProgressBar>("ProgressBar1")->maximum(), 20500);
    }

    void readoutIntoUnwritableFile()
    {
        auto sim = startReader(3);
        start(m_home.file(QStringLiteral("no/such/folder/list.csv")));
        QTest::mouseClick(control<QPushButton>("Command6"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY(m_dialogs.messages[0].startsWith(QStringLiteral("A kódlistafájlba")));
        QVERIFY(control<QLineEdit>("Text3")->text().isEmpty());
        QCOMPARE(control<QProgressBar>("ProgressBar1")->value(), 0);
    }

    void inputDuringReadoutIsDroppedAndCloseIsHeld()
    {
        // At 9600 baud, hanging up after 3000 bytes: about three seconds of transfer; the
        // person acts once the figure has moved.
        auto sim = startReader(3, {QStringLiteral("--hangup-dump"), QStringLiteral("3000")});
        const QString list = startWithList("busy.csv", "1,200,BB0000000001\r\n");
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(50);
        QString figureMidway;
        bool closedMidway = true;
        once([&] { return control<QLineEdit>("Text3")->text().toInt() > 0; }, [&] {
            QTest::mouseClick(control<QPushButton>("Command6"), Qt::LeftButton);
            QTest::mouseDClick(control<QLineEdit>("Text4"), Qt::LeftButton);
            QTest::mouseClick(control<QPushButton>("Command19"), Qt::LeftButton);
            QTest::keyClick(control<QPushButton>("Command6"), Qt::Key_Space);
            form().close();
            figureMidway = control<QLineEdit>("Text3")->text();
            closedMidway = !form().isVisible();
        });
        QTest::mouseClick(control<QPushButton>("Command6"), Qt::LeftButton);
        ticker.stop();

        QVERIFY(!closedMidway);
        QVERIFY(figureMidway.toInt() > 0 && figureMidway.toInt() < 3000);   // the figure moved meanwhile
        QVERIFY(ticks > 20);   // the event loop kept turning: the window stayed alive
        QCOMPARE(m_dialogs.messages,
                 QStringList{Texts::TransferError + QLatin1Char('\n') + Texts::lineLostInWindow(3)});
        QCOMPARE(m_dialogs.questions, QStringList());
        QCOMPARE(m_dialogs.fileDialogs, 1);
        QCOMPARE(sim->requests().size(), 1);
        QCOMPARE(readFile(list), QByteArray("1,200,BB0000000001\r\n"));
        QVERIFY(!form().isVisible());   // the held close acted on at the end
    }

    void readoutRequestDuringUploadDoesNothing()
    {
        auto sim = startReader(3);
        QByteArray text;
        for (int i = 0; i < 8; ++i)
            text += "1,200,BB000000000" + QByteArray::number(i) + "\r\n";
        const QString list = startWithList("during.csv", text);
        qint16 busySeen = 0;
        once([&] { return !sim->requests().isEmpty(); }, [&] {
            busySeen = form().state().UploadBusy;
            form().readout();
        });
        QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
        QCOMPARE(busySeen, qint16(1));
        QCOMPARE(m_dialogs.messages, QStringList{Texts::UploadDone});
        const QStringList requests = sim->requests();
        QCOMPARE(requests.size(), 8);
        for (const QString &request : requests)
            QVERIFY(!request.endsWith(QStringLiteral("20 21")));
        QCOMPARE(readFile(list), text);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
