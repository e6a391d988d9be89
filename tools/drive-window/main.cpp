// drive-window: runs the real window without a person, for the benchmark and
// the README's screenshot. The dialogs are answered from a script; the reader
// simulator must already be on a port (scripts/bench and scripts/screenshot
// start it in a throw-away settings home).
//
//   drive-window readout LIST.csv          one readout, timed
//   drive-window upload LIST.csv           one upload of the list, timed per record
//   drive-window screenshot LIST.csv OUT.png
//   drive-window scan                      the port list's scan of 1..256, timed; opens nothing
//   drive-window startup bare              a bare Qt window: from the start of main to its first paint
//   drive-window startup cards LIST.csv    the card window with the list, to the first paint of its table
//   drive-window search LIST.csv           the card window: keystrokes in its search field, timed
//   drive-window cards-screenshot LIST.csv OUT.png   the card window after a check

#include "desktop/dialogs.h"
#include "app/mainwindow.h"
#include "cards/cardwindow.h"
#include "desktop/liveclock.h"
#include "serial/portprobe.h"
#include "serial/portmap.h"
#include "tests/support/scripteddialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QTableView>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <ctime>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void waitForEvents(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

struct Measure {
    QElapsedTimer wall;
    double cpuAtStart;
    Measure() : cpuAtStart(cpuSeconds()) { wall.start(); }
    double wallSeconds() const { return double(wall.nsecsElapsed()) / 1e9; }
    double cpuShare() const { return (cpuSeconds() - cpuAtStart) / wallSeconds(); }
};

int fail(const ScriptedDialogs &dialogs, const char *what)
{
    fprintf(stderr, "drive-window: %s\n", what);
    for (const QString &message : dialogs.messages)
        fprintf(stderr, "  message: %s\n", qPrintable(message));
    return 1;
}

// Times the scan the port list runs each time it drops down.
int timeScans()
{
    constexpr int Rounds = 50;
    QList<double> ms;
    int devices = 0, free = 0;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        devices = free = 0;
        const PortMap map;   // read once a scan, as the port list's scan reads it
        for (int number = FirstPortNumber; number <= LastPortNumber; ++number) {
            int handle = InvalidHandle;
            if (ProbeCommPort(number, handle, map)) {
                ++devices;
                free += handle != InvalidHandle;
            }
        }
        ms.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    printf("scan: ports 1..256, %d devices (%d free), median %.2f ms, slowest %.2f ms\n", devices, free,
           ms[Rounds / 2], ms.last());
    return 0;
}

// Waits until widget has been painted once.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QWidget *widget) { widget->installEventFilter(this); }
    bool painted = false;
    bool eventFilter(QObject *, QEvent *event) override
    {
        painted |= event->type() == QEvent::Paint;
        return false;
    }
};

int timeStartup(const QStringList &args, const QElapsedTimer &sinceMain, Dialogs &dialogs, Clock &clock)
{
    std::unique_ptr<QWidget> window;
    QWidget *painted = nullptr;
    if (args.value(1) == QLatin1String("cards")) {
        auto *cards = new CardWindow(dialogs, clock);
        window.reset(cards);
        cards->openList(args.value(2));
        painted = cards->view()->viewport();
    } else {
        // The smallest window that shows a line of text: what any window pays for its fonts.
        auto *label = new QLabel(QStringLiteral("Vivadizuzud"));
        window.reset(label);
        label->resize(720, 560);
        painted = label;
    }
    FirstPaint paint(painted);
    window->show();
    while (!paint.painted)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    // The clock of the machine, so that the caller can count from before the program was started.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    printf("%lld %.2f\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
           double(sinceMain.nsecsElapsed()) / 1e6);
    return 0;
}

// Keystrokes in the card window's search field on a full list: each one's
// time from the key to the table repainted.
int timeSearch(const QString &list, Dialogs &dialogs, Clock &clock)
{
    CardWindow window(dialogs, clock);
    window.openList(list);
    window.show();
    waitForEvents(300);
    QLineEdit *search = window.findChild<QLineEdit *>();
    search->setFocus();
    QList<double> ms;
    const QString typed = QStringLiteral("0a1b2c3d4e5f");
    for (int round = 0; round < 4; ++round) {
        for (const QChar c : typed) {
            for (const bool erase : {false, true}) {
                QElapsedTimer timer;
                timer.start();
                const int key = erase ? Qt::Key_Backspace : Qt::Key_A;
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, erase ? QString() : QString(c));
                QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, erase ? QString() : QString(c));
                QApplication::sendEvent(search, &press);
                QApplication::sendEvent(search, &release);
                window.view()->viewport()->repaint();
                QApplication::processEvents();
                ms.append(double(timer.nsecsElapsed()) / 1e6);
            }
        }
    }
    std::sort(ms.begin(), ms.end());
    printf("search: %d rows, %lld keystrokes, median %.2f ms, slowest %.2f ms\n", window.table().rowCount(),
           static_cast<long long>(ms.size()), ms[ms.size() / 2], ms.last());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vivadizuzud"));
    installQtHungarian();
    const QStringList args = QApplication::arguments().mid(1);
    if (args.value(0) == QLatin1String("scan"))
        return timeScans();
    if (args.value(0) == QLatin1String("startup") || args.value(0) == QLatin1String("search")
        || args.value(0) == QLatin1String("cards-screenshot")) {
        ScriptedDialogs dialogs;
        LiveClock clock;
        if (args.value(0) == QLatin1String("startup"))
            return timeStartup(args, sinceMain, dialogs, clock);
        if (args.value(0) == QLatin1String("search"))
            return timeSearch(args.value(1), dialogs, clock);
        CardWindow window(dialogs, clock);
        window.openList(args.value(1));
        window.show();
        waitForEvents(300);
        window.check();
        window.view()->selectRow(2);
        waitForEvents(300);
        return window.grab().save(args.value(2)) ? 0 : fail(dialogs, "cannot save the picture");
    }
    if (args.size() < 2) {
        fprintf(stderr, "usage: drive-window readout|upload|screenshot LIST.csv [OUT.png]\n");
        return 2;
    }
    const QString mode = args[0];

    ScriptedDialogs dialogs;
    dialogs.fileAnswers.append(args[1]);
    LiveClock clock;
    MainWindow form(dialogs, clock);
    if (!form.start())
        return fail(dialogs, "the window did not start");
    form.show();
    waitForEvents(300);
    if (!form.port().isOpen())
        return fail(dialogs, "no port open");
    form.findChild<QComboBox *>(QStringLiteral("Combo2"))->setCurrentText(QStringLiteral("5"));

    if (mode == QLatin1String("screenshot") && args.size() == 3) {
        waitForEvents(300);
        return form.grab().save(args[2]) ? 0 : fail(dialogs, "cannot save the picture");
    }

    if (mode == QLatin1String("readout")) {
        const Measure measure;
        form.readout();
        const double wall = measure.wallSeconds();
        if (dialogs.messages.size() != 1 || !dialogs.messages[0].startsWith(QStringLiteral("A kódmemória")))
            return fail(dialogs, "the readout did not finish");
        const double wire = 20490.0 * 10 / 9600;
        printf("readout: wall %.3f s, wire %.3f s, ratio %.4f, cpu %.2f %% of wall\n", wall, wire, wall / wire,
               100 * measure.cpuShare());
        return 0;
    }

    if (mode == QLatin1String("upload")) {
        // Text3 shows the next record's address once per line: its changes mark the records.
        QList<qint64> marks;
        QElapsedTimer since;
        since.start();
        QObject::connect(form.findChild<QLineEdit *>(QStringLiteral("Text3")), &QLineEdit::textChanged,
                         [&](const QString &text) {
                             if (!text.isEmpty())
                                 marks.append(since.nsecsElapsed());
                         });
        const Measure measure;
        form.upload();
        const double cpu = measure.cpuShare();
        if (dialogs.messages.size() != 1 || !dialogs.messages[0].startsWith(QStringLiteral("A rátöltés")))
            return fail(dialogs, "the upload did not finish");
        QList<double> perRecord;
        for (qsizetype i = 1; i < marks.size(); ++i)
            perRecord.append(double(marks[i] - marks[i - 1]) / 1e6);
        if (perRecord.isEmpty())
            return fail(dialogs, "no records");
        std::sort(perRecord.begin(), perRecord.end());
        const double median = perRecord[perRecord.size() / 2];
        // The pause, then the first 20 ms poll after the reader's 5 ms and the
        // answer's 15 bytes at 9600 baud have passed.
        const double answerMs = 5 + 15 * 10 * 1000.0 / 9600;
        const double floorMs = 50 + 20 * std::ceil(answerMs / 20);
        printf("upload: %lld records, median %.2f ms per record, floor %.0f ms, ratio %.4f, "
               "slowest %.2f ms, cpu %.2f %% of wall\n",
               static_cast<long long>(perRecord.size()), median, floorMs, median / floorMs, perRecord.last(),
               100 * cpu);
        return 0;
    }
    fprintf(stderr, "drive-window: unknown mode %s\n", qPrintable(mode));
    return 2;
}
