// The command-line front end of ferrymark:
//   ferrymark                      the window (with a display; else the usage, status 2)
//   ferrymark import FILE.enex... [--library DIR] [--debug] [--reload-from-web]
//   ferrymark notebooks [--evernote-folder DIR]
//   ferrymark import-notebooks [NAME...] [--library DIR] [--evernote-folder DIR] ...
//   ferrymark defaults read|write|delete DOMAIN KEY [VALUE]
// Every one runs with the framework's exception handler installed: a crash
// leaves a crash log, which the next window launch offers to send.
// Returns the process's exit status.
#pragma once

int runCommandLine(int argc, char** argv);
