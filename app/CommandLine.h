// The command-line front end of ferrymark:
//   ferrymark [FILE.enex...]       the window, which imports the files first (with a
//                                  display; else the usage, status 2)
//   ferrymark import FILE.enex... [--library DIR] [--debug] [--reload-from-web]
//   ferrymark notebooks [--evernote-folder DIR]
//   ferrymark import-notebooks [NAME...] [--library DIR] [--evernote-folder DIR] ...
//   ferrymark defaults read|write|delete DOMAIN KEY [VALUE]
// Every one runs with the framework's exception handler installed: a crash
// leaves a crash log, which the next window launch offers to send.
// Returns the process's exit status.
#pragma once

#include <QStringList>
#include <optional>

int runCommandLine(int argc, char** argv);

// The files that the window is to import when `arguments` (the program's
// name first) open it: none for no words, the words made absolute when the
// first is no command and none is an option (after "--" every word is a
// file); std::nullopt when the words are a command or options.
std::optional<QStringList> filesToOpenInWindow(const QStringList& arguments);
