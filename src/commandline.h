#pragma once

// A start from the terminal with one of the options --help, --version, --check-now or
// --quit: it does that one job, without a display and without touching a file, and ends.
// Any other start is the program's own, exactly as without these options.

// True when the arguments name one of these options.
bool isCommandLineRequest(int argc, char **argv);

// Does the job; a QCoreApplication over the same arguments must exist. Returns the exit
// status. Its texts are printed in English: no language pack is read.
int runCommandLine();
