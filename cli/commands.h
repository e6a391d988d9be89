// The command line's commands, on the same port numbering, probe, code list
// rules and transfers as the window. Each returns the exit status.
#pragma once

#include "cli/options.h"

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
