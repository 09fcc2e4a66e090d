// The command line's view of an import run: a progress bar on a terminal,
// plain lines otherwise, the error text when the run fails, and a summary of
// where the items went. Once a second has passed since the first notebook or
// file was announced and a note is done, the progress also shows the rate in
// notes per second and the time left at that rate. Main thread only, like
// every delegate.
#pragma once

#include <QTextStream>
#include <functional>

#include "import/EvernoteExportOperationDelegate.h"

class ImportProgressPrinter : public EvernoteExportOperationDelegate {
  public:
    enum class Outcome { Running, Ended, Failed, Cancelled };

    // Milliseconds from a steady clock; tests pass their own.
    using Clock = std::function<qint64()>;

    // `onEnd` is called (on the main thread) once the run has ended in any way.
    // Without a `clock`, a steady clock of the system is used.
    ImportProgressPrinter(QTextStream& out, QTextStream& err, bool isTerminal,
                          std::function<void()> onEnd, Clock clock = {});

    Outcome outcome() const { return outcome_; }
    unsigned long total() const { return total_; }
    unsigned long done() const { return done_; }

    void exportOperationDidStart(EvernoteExportOperation*) override {}
    void exportOperationWillExportRecordsFromNotebook(EvernoteExportOperation*, unsigned long count,
                                                      const QString& notebookName) override;
    void exportOperationWillExportRecordsFromFileAtURL(EvernoteExportOperation*,
                                                       unsigned long count,
                                                       const QUrl& fileURL) override;
    void exportOperationDidExportRecord(EvernoteExportOperation*) override;
    void exportOperationDidEncounterError(EvernoteExportOperation*, const Error& error) override;
    void exportOperationDidCancel(EvernoteExportOperation*) override;
    void exportOperationDidEnd(EvernoteExportOperation*) override;

  private:
    void announce(unsigned long count, const QString& name);
    void showProgress();
    QString progressText() const;
    QString rateAndTimeLeftText() const;
    void finishProgressLine();
    void end(Outcome outcome);

    QTextStream& out_;
    QTextStream& err_;
    bool isTerminal_;
    std::function<void()> onEnd_;
    Clock clock_;
    qint64 startedAt_ = -1;  // when the first notes were announced
    Outcome outcome_ = Outcome::Running;
    unsigned long total_ = 0;
    unsigned long done_ = 0;
    int lastPercent_ = -1;
    bool progressLineOpen_ = false;
};
