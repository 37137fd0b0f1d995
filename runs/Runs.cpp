#include "runs/Runs.h"

// Placeholders until the runs land.
void RunBackup(RunContext &) {}
void RunHukyuu(RunContext &) {}
