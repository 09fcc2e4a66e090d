// The warnings of one note's conversion, gathered for the run's report: a
// converter that logs something the user should know about a note (an
// attachment added at the end, a link between notes left as it was, an
// encrypted passage left hidden, a limit reached) also hands the line to
// ConversionWarnings::note, and whoever converts the note collects them with
// a ConversionWarnings scope around the conversion.
//
// Threading: a scope belongs to the thread that made it and collects only
// what that thread notes while it lives; a note made on a thread without a
// scope goes nowhere (the log line stays the only record). Scopes nest: the
// innermost collects.
#pragma once

#include <QString>
#include <QStringList>

class ConversionWarnings {
  public:
    // How many warnings one note keeps; more are counted in a last line, so a
    // hostile note of thousands of links cannot grow a run's report without bound.
    static constexpr qsizetype kMaximumKept = 50;

    // Starts collecting on this thread.
    ConversionWarnings();
    // Stops collecting; the scope around it, if any, collects again.
    ~ConversionWarnings();
    ConversionWarnings(const ConversionWarnings&) = delete;
    ConversionWarnings& operator=(const ConversionWarnings&) = delete;

    // Hands `text` to the innermost scope of this thread, if there is one.
    static void note(const QString& text);
    // Writes `text` into the system log (systemLog) and notes it.
    static void log(const QString& text);

    // What was noted so far, in order (the last line says how many more were
    // left out, when there were more than kMaximumKept).
    QStringList warnings() const;

  private:
    void add(const QString& text);

    QStringList kept_;
    qsizetype leftOut_ = 0;
    ConversionWarnings* outer_ = nullptr;
};
