// The program's command line for scripts: verbs that work without a window or a display, and
// that leave any running editor alone.
#pragma once

namespace tovra {

// Whether argv asks for a verb of the command line rather than a window.
bool IsCommandLineVerb(int argc, char* argv[]);

// Runs that verb and returns the process's exit code: 0 on success, 1 with the message on
// standard error otherwise. Progress goes to standard error, the result's path to standard output.
int RunCommandLine(int argc, char* argv[]);

}  // namespace tovra
