// What a command is told on the command line, and what it answers with.
#pragma once

#include <QString>
#include <optional>

enum ExitStatus {
    ExitDone = 0,
    ExitUsage = 1,
    ExitPortUnusable = 2,
    ExitReaderFailed = 3,
    ExitFileFailed = 4,
    ExitDifferences = 5,
    ExitStopped = 130,   // Ctrl-C, as shells report it
};

struct Options {
    std::optional<int> port;          // --port N
    std::optional<int> openingTime;   // --time T
    bool json = false;                // --json
    bool dryRun = false;              // --dry-run
    bool yes = false;                 // --yes
    bool newReader = false;           // --new-reader: the reader on the line is the named door's now
    int days = 30;                    // --days N
    QString door;                     // --door NAME
    QString file;
};
