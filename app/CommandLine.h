// The command-line front end of ferrymark:
//   ferrymark import FILE.enex [--library DIR] [--debug] [--reload-from-web]
//   ferrymark defaults read|write|delete DOMAIN KEY [VALUE]
// Returns the process's exit status.
#pragma once

int runCommandLine(int argc, char** argv);
