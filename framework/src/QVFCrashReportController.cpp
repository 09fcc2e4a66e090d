#include "Quorvel/QVFCrashReportController.h"

#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <optional>

#include "Quorvel/QVFExceptionHandler.h"
#include "Quorvel/QVFLogManager.h"
#include "SystemCrashReports.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"

namespace {

const QString kLastCrashReportDateKey = QStringLiteral("QVFCrashReporterLastCrashReportDate");
const QString kUnreportedCrashesKey = QStringLiteral("QVFCrashReporterNumberOfUnreportedCrashes");
const QString kAsterisks = QString(80, u'*');
// Seconds from the Unix epoch to 2001-01-01 00:00:00 UTC.
constexpr qint64 kReferenceDateOffset = 978307200;
constexpr int kUploadTimeoutMs = 20000;
constexpr int kGitTimeoutMs = 2000;

struct ReporterState {
    QString url;
    QStringList applicationNames;
};

ReporterState& reporterState() {
    static ReporterState state;
    return state;
}

double secondsSinceReferenceDate(const QDateTime& date) {
    return static_cast<double>(date.toMSecsSinceEpoch()) / 1000.0 -
           static_cast<double>(kReferenceDateOffset);
}

QDateTime dateFromReferenceSeconds(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(
        static_cast<qint64>((seconds + static_cast<double>(kReferenceDateOffset)) * 1000.0),
        Qt::UTC);
}

// Whether Qt can open a window here: a display server is named, or a Qt
// platform (offscreen, vnc, ...) that needs none. Without either, making a
// QApplication aborts the process.
bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// The window needs a QApplication: one is made when the process has no
// application object yet and a display exists (kept until the process ends).
// A process with a QCoreApplication, or without a display, cannot show it:
// making one there would abort, and the abort would be the next crash report.
bool hasWidgetApplication() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) return true;
    if (QCoreApplication::instance() || !hasDisplay()) return false;
    static int argc = 1;
    static char name[] = "quorvel";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    return true;
}

// One line that names the waiting reports, so that a command-line user knows
// where they are; the reports stay new until a window has shown them.
void announceKeptReports(const QStringList& paths) {
    systemLog(stringWithFormat(
        QStringLiteral("A crash report cannot be shown without a window and is kept for the "
                       "next launch: %@"),
        {paths.join(QStringLiteral(", "))}));
}

// Qt knows the executable only once an application object exists; a check
// made before that asks the kernel.
QString executablePath() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

bool isNewerThan(const QString& path, double lastCheck) {
    const QDateTime modified = QFileInfo(path).lastModified();
    return modified.isValid() && secondsSinceReferenceDate(modified) > lastCheck;
}

// The setting keeps the time with the precision of a 32-bit float, whose steps
// are about a minute today. Rounded to the nearest, the stored time could lie
// up to half a step after the check, and a crash in those seconds would never
// be offered; rounded toward the past, a log is at worst offered twice.
float checkTimeAsStored(double seconds) {
    float stored = static_cast<float>(seconds);
    if (static_cast<double>(stored) > seconds) stored = std::nextafter(stored, -HUGE_VALF);
    return stored;
}

void storeCheckTime() {
    const float now = checkTimeAsStored(secondsSinceReferenceDate(QDateTime::currentDateTimeUtc()));
    Error error;
    if (!UserDefaults::standard().setObject(PlistValue(static_cast<double>(now)),
                                            kLastCrashReportDateKey, &error)) {
        systemLog(
            stringWithFormat(QStringLiteral("Cannot store the crash check time: %@"), {error}));
    }
}

// The file's text: a byte-order mark names the encoding, valid UTF-8 is read as
// such, other bytes as Latin-1; a file holding NUL bytes without a mark is not
// text (nullopt), nor is one that cannot be read.
std::optional<QString> readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        return QString(decoder(bytes));
    }
    if (bytes.contains('\0')) return std::nullopt;
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(bytes);
}

// A file may hold several reports; the last one is the newest.
QString lastReport(const QString& text) {
    const QString separator = QVFCrashReportController::reportSeparator();
    const qsizetype at = text.lastIndexOf(separator);
    return at < 0 ? text : text.mid(at + separator.size());
}

QString reportBlock(const QString& fileName, const QString& text) {
    return QStringLiteral("\n\n") + kAsterisks + u'\n' +
           stringWithFormat(QStringLiteral("%@\n\n"), {fileName}) + kAsterisks +
           QStringLiteral("\n\n") + text;
}

// The newest file below `folder` (at any depth) whose path relative to it
// begins with `prefix`; empty when there is none.
QString newestFileWithPrefix(const QString& folder, const QString& prefix, bool recursive) {
    const QDir base(folder);
    QString newest;
    QDateTime newestDate;
    QDirIterator entries(folder, QDir::Files | QDir::Hidden | QDir::System,
                         recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (entries.hasNext()) {
        const QString path = entries.next();
        if (!base.relativeFilePath(path).startsWith(prefix)) continue;
        const QDateTime modified = entries.fileInfo().lastModified();
        if (!modified.isValid()) continue;
        // Later wins; equal dates keep the walk independent by taking the greater path.
        if (newest.isEmpty() || modified > newestDate ||
            (modified == newestDate && path > newest)) {
            newest = path;
            newestDate = modified;
        }
    }
    return newest;
}

// The application's newest log, as a block; empty when there is none or it is
// not text (then logged and left out rather than ending the check).
QString newestApplicationLogBlock(const QString& applicationName) {
    const QString log =
        newestFileWithPrefix(QVFLogManager::sharedManager().applicationLogDirectory(),
                             stringWithFormat(QStringLiteral("%@_"), {applicationName}), true);
    if (log.isEmpty()) return {};
    const std::optional<QString> text = readText(log);
    if (!text) {
        systemLog(
            stringWithFormat(QStringLiteral("Cannot read the application log %@ as text"), {log}));
        return {};
    }
    return reportBlock(QFileInfo(log).fileName(), *text);
}

QString gecosFullName() {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found ||
        !found->pw_gecos)
        return {};
    // GECOS is "Full Name,Room,Work phone,Home phone,Other".
    return QString::fromLocal8Bit(found->pw_gecos).section(u',', 0, 0).trimmed();
}

QString userEmailAddress() {
    const QString fromEnvironment = qEnvironmentVariable("EMAIL").trimmed();
    if (!fromEnvironment.isEmpty()) return fromEnvironment;
    QProcess git;
    git.start(QStringLiteral("git"), {QStringLiteral("config"), QStringLiteral("user.email")});
    if (!git.waitForFinished(kGitTimeoutMs)) {
        git.kill();
        git.waitForFinished();
        return {};
    }
    if (git.exitStatus() != QProcess::NormalExit || git.exitCode() != 0) return {};
    return QString::fromUtf8(git.readAllStandardOutput()).trimmed();
}

QString randomBoundary() {
    std::array<quint32, 4> words;
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    QString boundary = QStringLiteral("Quorvel-");
    for (const quint32 word : words)
        boundary += QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
    return boundary;
}

}  // namespace

QString QVFCrashReportController::reportSeparator() {
    return QStringLiteral("\n\n") + kAsterisks + QStringLiteral("\n\n");
}

void QVFCrashReportController::setCrashReportURL(const QString& url) { reporterState().url = url; }

QString QVFCrashReportController::crashReportURL() { return reporterState().url; }

void QVFCrashReportController::addApplicationNames(const QStringList& names) {
    reporterState().applicationNames.append(names);
}

bool QVFCrashReportController::checkForCrash() { return checkForCrashAndReport(true); }

bool QVFCrashReportController::checkForCrashAndReport(bool report) {
    try {
        UserDefaults& defaults = UserDefaults::standard();
        if (defaults.objectForKey(kLastCrashReportDateKey).isNull()) {
            storeCheckTime();
            return false;
        }
        const QString applicationName = Bundle::main().applicationName();
        const double lastCheck = defaults.doubleForKey(kLastCrashReportDateKey);
        reporterState().applicationNames.prepend(applicationName);
        SystemCrashReports::collect(applicationName, executablePath(),
                                    dateFromReferenceSeconds(lastCheck),
                                    QVFExceptionHandler::diagnosticReportsDirectory());
        const QStringList logs = getLatestCrashLogs();
        QString text = crashReportText(logs, lastCheck);
        if (text.isEmpty()) return false;
        if (!report) return true;
        if (!hasWidgetApplication()) {
            QStringList kept;
            for (const QString& log : logs)
                if (isNewerThan(log, lastCheck)) kept.append(log);
            announceKeptReports(kept);
            return true;
        }

        text += newestApplicationLogBlock(applicationName);
        QVFCrashReportController controller;
        controller.setCrashReportLog(text);
        controller.exec();
        storeCheckTime();
        return true;
    } catch (const std::exception& exception) {
        systemLog(stringWithFormat(QStringLiteral("Exception during check for crash: %@"),
                                   {QString::fromUtf8(exception.what())}));
        return false;
    }
}

QStringList QVFCrashReportController::getLatestCrashLogs() {
    QStringList logs;
    for (const QString& folder : {QVFExceptionHandler::crashLogDirectory(),
                                  QVFExceptionHandler::diagnosticReportsDirectory()}) {
        logs += getLatestCrashLogsFromPath(folder);
    }
    return logs;
}

QStringList QVFCrashReportController::getLatestCrashLogsFromPath(const QString& folder) {
    QStringList logs;
    QStringList searched;
    for (const QString& name : reporterState().applicationNames) {
        // Every check puts the application's name in front again; one file is
        // reported once however often its name is listed.
        if (searched.contains(name)) continue;
        searched.append(name);
        const QString newest =
            newestFileWithPrefix(folder, stringWithFormat(QStringLiteral("%@_"), {name}), false);
        if (!newest.isEmpty()) logs.append(QDir(folder).filePath(QFileInfo(newest).fileName()));
    }
    return logs;
}

QString QVFCrashReportController::crashReportText(const QStringList& paths, double lastCheck) {
    QString text;
    for (const QString& path : paths) {
        if (!isNewerThan(path, lastCheck)) continue;
        const std::optional<QString> contents = readText(path);
        if (!contents) {
            systemLog(
                stringWithFormat(QStringLiteral("Cannot read the crash log %@ as text"), {path}));
            continue;
        }
        if (contents->trimmed().isEmpty()) continue;
        text += reportBlock(QFileInfo(path).fileName(), lastReport(*contents));
    }
    return text;
}

QVFCrashReportController::QVFCrashReportController(QWidget* parent) : QDialog(parent) {
    setWindowTitle(localizedString("Crash Report"));
    setModal(true);
    auto* intro = new QLabel(
        stringWithFormat(localizedString("%@ quit unexpectedly. Please send the report below so "
                                         "that the problem can be fixed."),
                         {Bundle::main().applicationName()}),
        this);
    intro->setWordWrap(true);
    emailField_ = new QLineEdit(this);
    descriptionText_ = new QPlainTextEdit(this);
    crashLogText_ = new QPlainTextEdit(this);
    crashLogText_->setReadOnly(true);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 0);
    progress_->setVisible(false);
    auto* cancelButton = new QPushButton(localizedString("Cancel"), this);
    sendButton_ = new QPushButton(localizedString("Send"), this);
    sendButton_->setDefault(true);
    connect(cancelButton, &QPushButton::clicked, this, &QVFCrashReportController::cancel);
    connect(sendButton_, &QPushButton::clicked, this, &QVFCrashReportController::send);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progress_, 1);
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    buttons->addWidget(sendButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(new QLabel(localizedString("Email:"), this));
    layout->addWidget(emailField_);
    layout->addWidget(new QLabel(localizedString("Description:"), this));
    layout->addWidget(descriptionText_, 1);
    layout->addWidget(new QLabel(localizedString("Crash log:"), this));
    layout->addWidget(crashLogText_, 2);
    layout->addLayout(buttons);
    resize(640, 560);
    awakeFromNib();
}

QVFCrashReportController::~QVFCrashReportController() = default;

QNetworkReply* QVFCrashReportController::currentTask() const { return currentTask_; }

void QVFCrashReportController::awakeFromNib() {
    descriptionText_->installEventFilter(this);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(12);
    crashLogText_->setFont(fixed);
    emailField_->setText(emailFieldText(gecosFullName(), userEmailAddress()));
}

QString QVFCrashReportController::emailFieldText(const QString& fullName, const QString& address) {
    if (address.isEmpty()) return {};
    if (fullName.isEmpty()) return address;
    return stringWithFormat(QStringLiteral("%@ <%@>"), {fullName, address});
}

void QVFCrashReportController::setCrashReportLog(const QString& log) {
    QTextCursor end(crashLogText_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(log);
}

QString QVFCrashReportController::crashReportLog() const { return crashLogText_->toPlainText(); }

QString QVFCrashReportController::email() const { return emailField_->text(); }

void QVFCrashReportController::setEmail(const QString& email) { emailField_->setText(email); }

QString QVFCrashReportController::description() const { return descriptionText_->toPlainText(); }

bool QVFCrashReportController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == descriptionText_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
        emailField_->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void QVFCrashReportController::send() {
    if (email().trimmed().isEmpty()) {
        auto* alert =
            new QMessageBox(QMessageBox::Warning, localizedString("Email address required"),
                            localizedString("Email address required"), QMessageBox::Ok, this);
        alert->setInformativeText(localizedString(
            "Please provide an email address so that we can get back to you if we need more "
            "information."));
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->open();
        return;
    }
    progress_->setVisible(true);
    sendReport();
}

QString QVFCrashReportController::multipartBoundary(const QStringList& parts,
                                                    const std::function<QString()>& candidate) {
    const auto occursInAPart = [&parts](const QString& boundary) {
        return std::any_of(parts.begin(), parts.end(),
                           [&boundary](const QString& part) { return part.contains(boundary); });
    };
    QString boundary;
    do {
        boundary = candidate ? candidate() : randomBoundary();
    } while (boundary.isEmpty() || occursInAPart(boundary));
    return boundary;
}

QByteArray QVFCrashReportController::reportBody(const QString& mark, const QString& product,
                                                const QString& email, const QString& description,
                                                const QString& log) {
    QString body = stringWithFormat(
        QStringLiteral("--%@\r\nContent-Disposition: form-data; name=\"product\"\r\n\r\n%@\r\n"
                       "--%@\r\nContent-Disposition: form-data; name=\"crashlog\"\r\n\r\n"),
        {mark, product, mark});
    body += stringWithFormat(QStringLiteral("Email: %@\r\nDescription: %@\r\n\r\n###\r\n\r\n"),
                             {email, description});
    body += log;
    body += stringWithFormat(QStringLiteral("\r\n--%@--\r\n"), {mark});
    return body.toUtf8();
}

void QVFCrashReportController::sendReport() {
    sendButton_->setEnabled(false);
    const QString product = Bundle::main().applicationName();
    QNetworkRequest request{QUrl(crashReportURL())};
    request.setTransferTimeout(kUploadTimeoutMs);
    const QString log = crashReportLog();
    const QString mark = multipartBoundary({product, email(), description(), log});
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArray("multipart/form-data; boundary=") + mark.toLatin1());
    request.setRawHeader("User-Agent", product.toUtf8());
    QNetworkReply* reply =
        session()->post(request, reportBody(mark, product, email(), description(), log));
    // The upload belongs to the session, not the window: it finishes after
    // the window has gone.
    connect(reply, &QNetworkReply::finished, reply, [reply] {
        if (reply->error() != QNetworkReply::NoError &&
            reply->error() != QNetworkReply::OperationCanceledError) {
            const Error error(QStringLiteral("QNetworkReply"), reply->error(),
                              reply->errorString());
            systemLog(stringWithFormat(QStringLiteral("Failed to send crash report: %@"), {error}));
        }
        reply->deleteLater();
    });
    currentTask_ = reply;
    QMetaObject::invokeMethod(this, &QVFCrashReportController::closeAfterSending,
                              Qt::QueuedConnection);
}

void QVFCrashReportController::closeAfterSending() {
    sendButton_->setEnabled(false);
    progress_->setVisible(false);
    hide();
    done(1);
}

void QVFCrashReportController::cancel() {
    sendButton_->setEnabled(false);
    if (currentTask_) currentTask_->abort();
    hide();
    done(0);
    UserDefaults& defaults = UserDefaults::standard();
    Error error;
    if (!defaults.setObject(PlistValue(defaults.integerForKey(kUnreportedCrashesKey) + 1),
                            kUnreportedCrashesKey, &error)) {
        systemLog(
            stringWithFormat(QStringLiteral("Cannot count an unreported crash: %@"), {error}));
    }
}

void QVFCrashReportController::reject() { cancel(); }

QNetworkAccessManager* QVFCrashReportController::session() {
    // One session per process, kept until it ends, so that an upload outlives
    // its window. No disk cache and no stored cookies or credentials.
    static QNetworkAccessManager* shared = new QNetworkAccessManager;
    return shared;
}
