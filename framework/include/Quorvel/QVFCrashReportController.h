// The framework's crash reporter. At launch, checkForCrash() looks for crash
// logs of the application written since the last check; when there are some
// it shows a modal window with them and the application's newest log, asks
// for the user's e-mail address and a description, and posts everything as a
// multipart form to the host's crash-report address.
//
// Crash-log folders, searched in this order (the Linux places of the
// platform's crash reporter folders):
//   $XDG_STATE_HOME/Quorvel/CrashReporter      written by QVFExceptionHandler
//   $XDG_STATE_HOME/Quorvel/DiagnosticReports  reports collected from the
//                                               system (coredumpctl exports)
// In each folder, per application name, only the newest file (by modification
// date) whose name begins with "<name>_" counts. Each check first asks
// coredumpctl, when it is installed, for the system's reports of crashes of
// this executable since the last check and keeps them in the second folder
// as "<name>_system_<host>.crash".
//
// Settings (the application's user defaults):
//   "QVFCrashReporterLastCrashReportDate"       time of the last check that
//       showed the window (or of the first launch), seconds since
//       2001-01-01 UTC, rounded to a 32-bit float as the setting has always
//       been kept; only logs modified strictly later are new
//   "QVFCrashReporterNumberOfUnreportedCrashes" one more each time the user
//       cancels the window
//
// The e-mail field starts as "Full Name <address>": the full name from the
// user's passwd entry (GECOS), the address from $EMAIL, else from
// `git config user.email`; the bare address without a name; empty without an
// address.
//
// Threading: main thread only; the class-level settings (URL, names) are not
// locked: set them before the first check. The upload runs on the shared
// network session and may outlive the window. Failures are written to the
// system log (standard error), never shown.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

#include "Quorvel/QVFExport.h"

class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class QUORVEL_EXPORT QVFCrashReportController : public QDialog {
    Q_OBJECT
  public:
    // Where reports are posted. There is none until the host sets one.
    static void setCrashReportURL(const QString& url);
    static QString crashReportURL();
    // More application names whose crash logs count (after the application's own).
    static void addApplicationNames(const QStringList& names);

    // checkForCrashAndReport(true).
    static bool checkForCrash();
    // True when at least one crash log newer than the last check was found,
    // whether or not the window was shown. The first check of all only stores
    // the time and answers false. With `report`, the window is run modally and
    // the time of the check is stored when it closes; without, nothing is
    // shown or stored (the same logs are found again next time). A process
    // without an application object gets a QApplication for the window when
    // a display exists ($DISPLAY, $WAYLAND_DISPLAY or $QT_QPA_PLATFORM set).
    // Without a display, or with a QCoreApplication, no window is made: the
    // logs are kept for a later launch that can show them, one line on
    // standard error names their files, and the answer is as without
    // `report`.
    static bool checkForCrashAndReport(bool report);

    // The newest crash log per application name in each crash-log folder:
    // folders in order, names in order within a folder.
    static QStringList getLatestCrashLogs();
    // The same for one folder; none for a folder that cannot be read.
    static QStringList getLatestCrashLogsFromPath(const QString& folder);

    // The report text of the crash logs newer than `lastCheck` (seconds since
    // 2001-01-01 UTC) among `paths`: for each, a block of two line feeds, 80
    // asterisks, its file name, 80 asterisks, then its text (the last report
    // when the file holds several). Logs that cannot be read as text, or are
    // empty, are left out (a file that is not text is logged).
    static QString crashReportText(const QStringList& paths, double lastCheck);

    // The window, not yet shown.
    explicit QVFCrashReportController(QWidget* parent = nullptr);
    ~QVFCrashReportController() override;

    // Appends `log` to the crash-log view.
    void setCrashReportLog(const QString& log);
    QString crashReportLog() const;
    // The e-mail field's text, untrimmed.
    QString email() const;
    void setEmail(const QString& email);
    // The user's description.
    QString description() const;

    // Send: with an e-mail field that is empty after trimming, an alert asks
    // for one and nothing is sent; otherwise the progress shows and the
    // report is uploaded (sendReport).
    void send();
    // Cancel: stops an upload, closes the window (result 0) and counts one
    // unreported crash.
    void cancel();
    // Posts the report to crashReportURL() (20-second time-out) and closes the
    // window right after the upload has started; the upload's failure is
    // logged as "Failed to send crash report: %@".
    void sendReport();
    // Closes the window after sending (result 1).
    void closeAfterSending();

    // The running upload, or null.
    QNetworkReply* currentTask() const;

    // The multipart body that sendReport posts, its parts separated by
    // `boundary` (which must occur in none of them: multipartBoundary).
    static QByteArray reportBody(const QString& boundary, const QString& product,
                                 const QString& email, const QString& description,
                                 const QString& log);
    // A boundary for a body of `parts`: "Quorvel-" and 32 random hex digits,
    // drawn again while it occurs in any part, so no text can end a part
    // early or forge one. `candidate` draws one (tests give their own).
    static QString multipartBoundary(const QStringList& parts,
                                     const std::function<QString()>& candidate = {});

    // What separates two reports in one crash-log file: two line feeds, 80
    // asterisks, two line feeds. Only the text after the last one is reported.
    static QString reportSeparator();

    // The pre-filled e-mail text for `fullName` and `address` (see above).
    static QString emailFieldText(const QString& fullName, const QString& address);

    QLineEdit* emailField() const { return emailField_; }
    QPlainTextEdit* descriptionText() const { return descriptionText_; }
    QPlainTextEdit* crashLogText() const { return crashLogText_; }
    QPushButton* sendButton() const { return sendButton_; }
    QProgressBar* progress() const { return progress_; }

  protected:
    // A tab typed in the description moves to the e-mail field.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The window's close control counts as cancel.
    void reject() override;

  private:
    void awakeFromNib();
    static QNetworkAccessManager* session();

    QLineEdit* emailField_ = nullptr;
    QPlainTextEdit* descriptionText_ = nullptr;
    QPlainTextEdit* crashLogText_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    QPointer<QNetworkReply> currentTask_;
};
