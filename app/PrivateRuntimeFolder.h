// The per-session folder Qt keeps its files in (XDG_RUNTIME_DIR) when the
// session has none (root under xvfb-run, a bare X server). Qt would then make
// "<temp>/runtime-<user>" itself and warn about it; the window program makes
// "<temp>/runtime-<uid>" first, with mode 0700 from the start. That name is in
// a folder every user can write to, so one found there already is used only
// when it is a directory itself (not a symbolic link), ours, with mode 0700;
// otherwise a fresh private folder (mkdtemp) takes its place, removed when
// this object goes, and standard error says why.
//
// Main thread, before the QApplication is made (Qt reads the variable then);
// the object must outlive the application.
#pragma once

#include <QString>
#include <QTextStream>
#include <memory>

class QTemporaryDir;

class PrivateRuntimeFolder {
  public:
    // Sets XDG_RUNTIME_DIR when it is unset or empty (see above); a refused
    // folder is named on `err`. Leaves a set variable alone.
    explicit PrivateRuntimeFolder(QTextStream& err);
    ~PrivateRuntimeFolder();

    // The folder XDG_RUNTIME_DIR was set to, or empty when it was left alone
    // (it was set, or no folder could be made: Qt then decides).
    QString path() const { return path_; }
    // The folder tried first: "<temp>/runtime-<uid>".
    static QString preferredPath();

  private:
    QString path_;
    std::unique_ptr<QTemporaryDir> fallback_;
};
