// vivadizuzud-cli: the card reader from a terminal or a script. Which port is
// which, readout, upload, and whether the reader holds what a list says.

#include "cli/commands.h"
#include "cli/support.h"
#include "cli/texts.h"
#include "serial/linetrace.h"
#include "serial/portmap.h"
#include "transfer/codelist.h"
#include "transfer/readers.h"

#include <QCoreApplication>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <algorithm>

namespace {

int usageError(const QString &what)
{
    fprintf(stderr, "%s\n", Texts::usageHint(what).toLocal8Bit().constData());
    return ExitUsage;
}

// A whole number in [low, high], or nothing.
std::optional<int> wholeNumber(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
}

void onSignal(int)
{
    requestStop();
}

// A command, the options it takes and how many files it wants.
struct Command {
    const char *name;
    int (*run)(const Options &);
    QStringList options;
    int minFiles, maxFiles;
    bool needsTime = false;   // what it writes into the reader has an opening time
};

const Command Commands[] = {
    {"ports", listPorts, {QStringLiteral("--json")}, 0, 0},
    {"readout", readout, {QStringLiteral("--port")}, 1, 1},
    {"upload", upload, {QStringLiteral("--port"), QStringLiteral("--time")}, 1, 1, true},
    {"verify", verify, {QStringLiteral("--port"), QStringLiteral("--time")}, 1, 1},
    {"sync", sync, {QStringLiteral("--port"), QStringLiteral("--door"), QStringLiteral("--time"), QStringLiteral("--dry-run"), QStringLiteral("--yes"), QStringLiteral("--new-reader")}, 1, 1, true},
    {"snapshot", snapshot, {QStringLiteral("--port"), QStringLiteral("--door")}, 0, 1},
    {"restore", restore, {QStringLiteral("--port"), QStringLiteral("--door"), QStringLiteral("--dry-run"), QStringLiteral("--yes"), QStringLiteral("--new-reader")}, 1, 1},
    {"doors", listDoors, {QStringLiteral("--json")}, 0, 0},
    {"snapshots", listSnapshots, {QStringLiteral("--door"), QStringLiteral("--json")}, 0, 0},
    {"expiring", expiring, {QStringLiteral("--days"), QStringLiteral("--json")}, 1, 1},
};

bool takesValue(const QString &option)
{
    return option == QLatin1String("--port") || option == QLatin1String("--time") || option == QLatin1String("--days")
        || option == QLatin1String("--door");
}

// Reads the options and files of a command into options; an error message, or empty.
QString parseArguments(const Command &command, QStringList args, Options &options, QStringList &files)
{
    bool optionsEnded = false;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            files.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const bool inline_ = arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='));
        const QString name = inline_ ? arg.section(QLatin1Char('='), 0, 0) : arg;
        QString value = inline_ ? arg.section(QLatin1Char('='), 1) : QString();
        if (!command.options.contains(name)) {
            const bool known = std::any_of(std::begin(Commands), std::end(Commands),
                                           [&](const Command &c) { return c.options.contains(name); });
            return known ? Texts::optionOfAnotherCommand(QLatin1String(command.name), name)
                         : Texts::unknownOption(name);
        }
        if (!takesValue(name)) {
            if (inline_)
                return Texts::optionTakesNoValue(name);
        } else if (!inline_) {
            if (args.isEmpty())
                return Texts::optionNeedsValue(name);
            value = args.takeFirst();
        }
        if (name == QLatin1String("--port")) {
            options.port = wholeNumber(value, FirstPortNumber, LastPortNumber);
            if (!options.port)
                return Texts::badPortNumber();
        } else if (name == QLatin1String("--time")) {
            options.openingTime = wholeNumber(value, 1, 127);
            if (!options.openingTime)
                return Texts::badOpeningTime();
        } else if (name == QLatin1String("--days")) {
            const std::optional<int> days = wholeNumber(value, 0, 36500);
            if (!days)
                return Texts::badDays();
            options.days = *days;
        } else if (name == QLatin1String("--door")) {
            // As the window takes a name: blanks at its ends are no part of it.
            if (!isDoorName(value.trimmed()))
                return Texts::badDoorName();
            options.door = value.trimmed();
        } else if (name == QLatin1String("--json")) {
            options.json = true;
        } else if (name == QLatin1String("--dry-run")) {
            options.dryRun = true;
        } else if (name == QLatin1String("--yes")) {
            options.yes = true;
        } else if (name == QLatin1String("--new-reader")) {
            options.newReader = true;
        }
    }
    if (command.needsTime && !options.openingTime)
        return Texts::commandNeedsTime(QLatin1String(command.name));
    if (files.size() < command.minFiles || files.size() > command.maxFiles) {
        return command.maxFiles == 0 ? Texts::commandTakesNoFile(QLatin1String(command.name))
                                     : Texts::commandTakesOneFile(QLatin1String(command.name));
    }
    for (const QString &file : files) {
        // Such a name would be turned into another one on the way to the file system.
        if (!isFaithfulFileName(file))
            return Texts::nameNotUtf8(file);
    }
    return {};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const QStringList beforeEnd = args.mid(0, args.indexOf(QLatin1String("--")));
    if (beforeEnd.contains(QLatin1String("--help")) || beforeEnd.contains(QLatin1String("-h"))) {
        fputs(Texts::Usage, stdout);
        return ExitDone;
    }
    if (beforeEnd.contains(QLatin1String("--version"))) {
        printf("vivadizuzud-cli %s\n", VIVADIZUZUD_VERSION);
        return ExitDone;
    }
    // --trace FILE goes with every command: the line's frames and decisions, for a fault report.
    QString trace;
    if (!LineTrace::takeOption(args, trace))
        return usageError(Texts::optionNeedsValue(QStringLiteral("--trace")));
    if (!trace.isNull()) {
        if (const int error = LineTrace::start(trace, Texts::commandLine(args))) {
            fprintf(stderr, "%s\n", Texts::traceUnwritable(trace, error).toLocal8Bit().constData());
            return ExitFileFailed;
        }
    }
    if (args.isEmpty())
        return usageError(Texts::missingCommand());

    const QString name = args.takeFirst();
    const auto command = std::find_if(std::begin(Commands), std::end(Commands),
                                      [&](const Command &c) { return name == QLatin1String(c.name); });
    if (command == std::end(Commands))
        return usageError(Texts::unknownCommand(name));
    Options options;
    QStringList files;
    if (const QString error = parseArguments(*command, args, options, files); !error.isEmpty())
        return usageError(error);
    options.file = files.value(0);
    if (const QString problem = Texts::settingsProblem(); !problem.isEmpty())
        fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());

    // A stop (Ctrl-C, the terminal closed, the session ending) ends the
    // transfer at its next pause: the port is released and a readout's file
    // is left as it was.
    struct sigaction action {};
    action.sa_handler = onSignal;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A closed pipe on standard error must not end the program before it has let the port go.
    signal(SIGPIPE, SIG_IGN);
    return command->run(options);
}
