// Keeps a copy of the library import description that a run hands to
// Pelmora, which removes the original once it has imported it.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include "import/EvernoteExportOperation.h"

class DescriptionCopy {
  public:
    // Copies the description of every later run of `operation` (the last wins).
    explicit DescriptionCopy(EvernoteExportOperation& operation);
    // Where the copy is; the file exists once a run has handed one over.
    QString path() const { return dir_.filePath(QStringLiteral("Evernote.pmlibxml")); }
    // The copy as read by our property-list reader; empty when there is none.
    PlistDictionary read() const;

  private:
    QTemporaryDir dir_;
};
