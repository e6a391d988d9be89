// The command line's commands, on the same port numbering, probe, code list
// rules and transfers as the window. Each returns the exit status.
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
    int days = 30;                    // --days N
    QString door;                     // --door NAME
    QString file;
};

int listPorts(const Options &options);
int readout(const Options &options);
int upload(const Options &options);
int verify(const Options &options);
// The reader made to hold exactly a list or a snapshot, and the snapshots kept on the way.
int sync(const Options &options);
int restore(const Options &options);
int snapshot(const Options &options);
int listSnapshots(const Options &options);
// The named readers, their ports and what each last held.
int listDoors(const Options &options);
// The cards of a list whose last day is near or past.
int expiring(const Options &options);
