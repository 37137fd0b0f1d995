#pragma once

#include "runs/RunContext.h"

// The backup run (module Backup): copies the folder from the source side
// to the destination side, reports, and may end the program.
void RunBackup(RunContext &context);
// The restore run (module Hukyuu): copies it back under its base name.
void RunHukyuu(RunContext &context);
