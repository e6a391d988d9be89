#include "desktop/windowstart.h"
#include "desktop/dialogs.h"
#include "desktop/texts.h"
#include "serial/linetrace.h"
#include "transfer/messages.h"

#include <QList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *g_program = "vivadizuzud";
QtMessageHandler g_previousHandler = nullptr;
QList<std::pair<QtMsgType, QString>> g_heldBack;

void sayNoDisplay()
{
    fprintf(stderr, "%s: %s\n", g_program, Texts::NoDisplay);
}

void holdBackUntilUp(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        sayNoDisplay();
        std::_Exit(1);
    }
    g_heldBack.append({type, message});
}

bool hasDisplay()
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    return false;
}

} // namespace

int answerWithoutWindow(int argc, char *argv[], const char *program, const char *usage)
{
    g_program = program;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            fputs(usage, stdout);
            return 0;
        }
        if (!strcmp(argv[i], "--version")) {
            printf("%s %s\n", program, VIVADIZUZUD_VERSION);
            return 0;
        }
    }
    if (!hasDisplay()) {
        sayNoDisplay();
        return 1;
    }
    return -1;
}

std::unique_ptr<QApplication> startApplication(int &argc, char *argv[], const char *program)
{
    g_program = program;
    g_previousHandler = qInstallMessageHandler(holdBackUntilUp);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    for (const auto &[type, message] : g_heldBack)
        qt_message_output(type, QMessageLogContext(), message);
    g_heldBack.clear();
    QApplication::setApplicationName(QStringLiteral("Vivadizuzud"));
    installQtHungarian();
    return app;
}

std::optional<QStringList> windowArguments(const char *program)
{
    QStringList args = QApplication::arguments().mid(1);
    // VIVADIZUZUD_TRACE=FILE or --trace FILE: the line's frames and decisions, for a fault report.
    QString trace = qEnvironmentVariable("VIVADIZUZUD_TRACE");
    QString wrong = LineTrace::takeOption(args, trace) ? QString() : QStringLiteral("--trace");
    for (qsizetype i = 0; i < args.size() && args[i] != QLatin1String("--") && wrong.isEmpty(); ++i) {
        if (args[i].startsWith(QLatin1Char('-')) && args[i] != QLatin1String("-"))
            wrong = args[i];   // an option is never a list's name
    }
    if (!wrong.isEmpty()) {
        fprintf(stderr, "%s: %s\n", program, Texts::unknownOption(wrong).toLocal8Bit().constData());
        return std::nullopt;
    }
    args.removeAll(QStringLiteral("--"));
    if (!trace.isEmpty()) {
        if (const int error = LineTrace::startPerOperation(trace, QStringLiteral("%1 (ablak)").arg(QLatin1String(program))))
            fprintf(stderr, "%s: %s\n", program, Texts::traceUnwritable(trace, error).toLocal8Bit().constData());
    }
    return args;
}
