// Imports ENEX files as a real run does, for the tests that hold the shared
// corpus of real exports against an independent reading: the file import
// operation converts the notes, the built-in Pelmora stand-in takes them into
// a library in a hermetic temporary folder, and the library is read back
// (LibraryReader) before the folder goes. Main thread only.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <string>

#include "tests/support/LibraryReader.h"

struct CorpusImport {
    QString outcome;   // the delegate's last call: "end", "error CODE", "cancel"; empty when it
                       // never ended
    int exported = 0;  // notes the run counted as done (imported or skipped)
    QString log;       // the run's log file
    QList<LibraryItem> items;
    QString libraryError;  // why the library could not be read; empty when it could
};

// The shared corpus beside the clone ("../shared/corpus"), or empty when it is absent.
QString corpusFolder();
// Every ENEX file of the corpus, sorted by path; empty when there is no corpus.
QStringList corpusFiles();
// The path relative to the corpus folder, for messages.
QString corpusName(const QString& path);
// A test name for one corpus file: its position and its base name in letters, digits and "_".
std::string corpusTestName(const QString& path, size_t index);

// Imports `enex` as the file `fileName` (its base name names the group).
CorpusImport importENEX(const QString& fileName, const QByteArray& enex);
// The import of a corpus file as it is, made once per process and shared.
const CorpusImport& importOfCorpusFile(const QString& path);
