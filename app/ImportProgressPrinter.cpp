#include "app/ImportProgressPrinter.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QUrl>
#include <cmath>
#include <memory>

#include "app/ImportSummary.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "util/ProgressTexts.h"
#include "util/TextExtensions.h"

namespace {

constexpr int kBarWidth = 30;
// Before this much time a rate says more about the start-up than the import.
constexpr qint64 kRateDelayMs = 1000;

ImportProgressPrinter::Clock steadyClock() {
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return [timer] { return timer->elapsed(); };
}

// "85 notes/sec"; one decimal below ten, so that a slow import does not read "0 notes/sec".
QString notesPerSecondText(double rate) {
    const QString notes =
        rate >= 10 ? QVExtensions::stringWithQuantity(std::lround(rate), localizedString("note"),
                                                      localizedString("notes"))
                   : stringWithFormat(QStringLiteral("%@ %@"),
                                      {QLocale().toString(rate, 'f', 1), localizedString("notes")});
    return stringWithFormat(localizedString("%@/sec"), {notes});
}

}  // namespace

ImportProgressPrinter::ImportProgressPrinter(QTextStream& out, QTextStream& err, bool isTerminal,
                                             std::function<void()> onEnd, Clock clock)
    : out_(out),
      err_(err),
      isTerminal_(isTerminal),
      onEnd_(std::move(onEnd)),
      clock_(clock ? std::move(clock) : steadyClock()) {}

void ImportProgressPrinter::announce(unsigned long count, const QString& name) {
    if (startedAt_ < 0) startedAt_ = clock_();
    total_ += count;
    out_ << stringWithFormat(localizedString("Exporting notes from \"%@\""), {name}) << "\n";
    out_.flush();
    showProgress();
}

void ImportProgressPrinter::exportOperationWillExportRecordsFromNotebook(EvernoteExportOperation*,
                                                                         unsigned long count,
                                                                         const QString& name) {
    announce(count, name);
}

void ImportProgressPrinter::exportOperationWillExportRecordsFromFileAtURL(EvernoteExportOperation*,
                                                                          unsigned long count,
                                                                          const QUrl& url) {
    announce(count, QFileInfo(url.toLocalFile()).fileName());
}

void ImportProgressPrinter::exportOperationDidExportRecord(EvernoteExportOperation*) {
    ++done_;
    showProgress();
}

QString ImportProgressPrinter::rateAndTimeLeftText() const {
    const qint64 elapsedMs = startedAt_ < 0 ? 0 : clock_() - startedAt_;
    if (done_ == 0 || elapsedMs < kRateDelayMs) return QString();
    const double rate = double(done_) * 1000.0 / double(elapsedMs);
    QString text = notesPerSecondText(rate);
    if (done_ < total_)
        text += QStringLiteral(", ") +
                QVExtensions::stringForTimeInterval(double(total_ - done_) / rate);
    return text;
}

QString ImportProgressPrinter::progressText() const {
    QString text = stringWithFormat(localizedString("%lu of %lu notes exported"), {done_, total_});
    if (const QString rate = rateAndTimeLeftText(); !rate.isEmpty())
        text += QStringLiteral(", ") + rate;
    return text;
}

void ImportProgressPrinter::showProgress() {
    const QString text = progressText();
    if (isTerminal_) {
        const double fraction = total_ ? double(done_) / double(total_) : 1.0;
        const int filled = static_cast<int>(fraction * kBarWidth);
        out_ << "\r[" << QString(filled, u'#') << QString(kBarWidth - filled, u' ') << "] " << text
             << "\x1b[K";
        out_.flush();
        progressLineOpen_ = true;
        return;
    }
    // Plain output (a pipe, a log): a line at each tenth, not one per note.
    const int percent = total_ ? static_cast<int>(100 * done_ / total_) : 100;
    if (percent / 10 == lastPercent_ / 10 && done_ != total_) return;
    if (done_ == total_ && lastPercent_ == 100) return;
    lastPercent_ = percent;
    out_ << text << "\n";
    out_.flush();
}

void ImportProgressPrinter::finishProgressLine() {
    if (progressLineOpen_) out_ << "\n";
    progressLineOpen_ = false;
    out_.flush();
}

void ImportProgressPrinter::exportOperationDidEncounterError(EvernoteExportOperation*,
                                                             const Error& error) {
    finishProgressLine();
    err_ << ImportSummary::failedText() << "\n" << error.localizedDescription() << "\n";
    err_.flush();
    end(Outcome::Failed);
}

void ImportProgressPrinter::exportOperationDidCancel(EvernoteExportOperation*) {
    finishProgressLine();
    err_ << ImportSummary::cancelledText() << "\n" << ImportSummary::nothingImportedText() << "\n";
    err_.flush();
    end(Outcome::Cancelled);
}

void ImportProgressPrinter::exportOperationDidEnd(EvernoteExportOperation*) {
    finishProgressLine();
    end(Outcome::Ended);
}

void ImportProgressPrinter::end(Outcome outcome) {
    if (outcome_ != Outcome::Running) return;
    outcome_ = outcome;
    if (onEnd_) onEnd_();
}
