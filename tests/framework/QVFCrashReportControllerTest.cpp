#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include "Quorvel/QVFCrashReportController.h"
#include "Quorvel/QVFExceptionHandler.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/framework/RecordingHTTPServer.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QString kLastDateKey = QStringLiteral("QVFCrashReporterLastCrashReportDate");
const QString kUnreportedKey = QStringLiteral("QVFCrashReporterNumberOfUnreportedCrashes");
const QString kStars = QString(80, u'*');
constexpr qint64 kReferenceDate = 978307200;  // 2001-01-01 in Unix seconds

QDateTime fromReferenceSeconds(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>((seconds + kReferenceDate) * 1000),
                                          Qt::UTC);
}

double referenceSeconds(const QDateTime& date) {
    return date.toMSecsSinceEpoch() / 1000.0 - kReferenceDate;
}

// A crash log named `name` in `folder` with the given text and modification time.
QString writeLog(const QString& folder, const QString& name, const QByteArray& text,
                 const QDateTime& modified) {
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    EXPECT_TRUE(file.open(QIODevice::ReadWrite));
    EXPECT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    return path;
}

QString block(const QString& name, const QString& text) {
    return "\n\n" + kStars + "\n" + name + "\n\n" + kStars + "\n\n" + text;
}

class CrashReporter : public ::testing::Test {
  protected:
    void SetUp() override {
        QVFCrashReportController::addApplicationNames({"Notes", "Notes Pro", "Helper"});
    }
    QString ours() const { return QVFExceptionHandler::crashLogDirectory(); }
    QString system() const { return QVFExceptionHandler::diagnosticReportsDirectory(); }
    void setLastCheck(double seconds) {
        ASSERT_TRUE(UserDefaults::standard().setObject(PlistValue(seconds), kLastDateKey));
    }
    QDateTime hoursAgo(int hours) const {
        return QDateTime::currentDateTimeUtc().addSecs(-3600LL * hours);
    }

    TestEnvironment env_;
};

}  // namespace

// The first check only stores the time, so logs from before it are never offered.
TEST_F(CrashReporter, FirstLaunchStoresTheTimeAndNeverReportsOlderLogs) {
    writeLog(ours(), "Ferrymark_old.crash", "old crash", hoursAgo(2));
    EXPECT_FALSE(QVFCrashReportController::checkForCrashAndReport(false));
    const double stored = UserDefaults::standard().doubleForKey(kLastDateKey);
    EXPECT_EQ(stored, static_cast<double>(static_cast<float>(stored)));  // float precision
    const QDateTime afterCheck = QDateTime::currentDateTimeUtc();
    EXPECT_NEAR(stored, referenceSeconds(afterCheck), 64);
    EXPECT_FALSE(QVFCrashReportController::checkForCrashAndReport(false));
    // The stored time never lies after the check, so a crash in the seconds
    // after it is offered next time, whichever way the float rounded.
    EXPECT_LE(stored, referenceSeconds(afterCheck));
    writeLog(ours(), "Ferrymark_new.crash", "just after", afterCheck.addSecs(1));
    EXPECT_TRUE(QVFCrashReportController::checkForCrashAndReport(false));
}

// 800000000 is a float exactly; a log at that second is not newer, one second later is.
TEST_F(CrashReporter, OnlyLogsStrictlyNewerThanTheStoredFloatCount) {
    const double stored = 800000000.0;
    ASSERT_EQ(stored, static_cast<double>(static_cast<float>(stored)));
    setLastCheck(stored);
    writeLog(ours(), "Ferrymark_a.crash", "same time", fromReferenceSeconds(stored));
    EXPECT_FALSE(QVFCrashReportController::checkForCrashAndReport(false));
    writeLog(ours(), "Ferrymark_b.crash", "a second later", fromReferenceSeconds(stored + 1));
    EXPECT_TRUE(QVFCrashReportController::checkForCrashAndReport(false));
    // Without the window nothing is stored, so the log is found again.
    EXPECT_EQ(UserDefaults::standard().doubleForKey(kLastDateKey), stored);
    EXPECT_TRUE(QVFCrashReportController::checkForCrashAndReport(false));
}

TEST_F(CrashReporter, AFileWithSeveralReportsContributesItsLast) {
    const QString separator = "\n\n" + kStars + "\n\n";
    const QString path =
        writeLog(ours(), "Ferrymark_x.crash",
                 ("first" + separator + "second" + separator + "third").toUtf8(), hoursAgo(1));
    EXPECT_EQ(QVFCrashReportController::crashReportText({path}, referenceSeconds(hoursAgo(2))),
              block("Ferrymark_x.crash", "third"));
}

// Per folder, per name, only the newest file; our folder first, names in order.
TEST_F(CrashReporter, NewestLogPerNameInEachFolderInOrder) {
    QVFCrashReportController::addApplicationNames({"Helper"});
    writeLog(ours(), "Helper_1.crash", "h1", hoursAgo(3));
    writeLog(ours(), "Helper_2.crash", "h2", hoursAgo(2));
    writeLog(ours(), "Ferrymark_1.crash", "f1", hoursAgo(3));
    writeLog(system(), "Ferrymark_9.crash", "f9", hoursAgo(1));
    writeLog(system(), "Helper_9.crash", "h9", hoursAgo(1));
    writeLog(system(), "Unrelated_9.crash", "u9", hoursAgo(1));
    setLastCheck(referenceSeconds(hoursAgo(4)));
    ASSERT_TRUE(QVFCrashReportController::checkForCrashAndReport(false));

    EXPECT_EQ(QVFCrashReportController::getLatestCrashLogs(),
              QStringList({ours() + "/Ferrymark_1.crash", ours() + "/Helper_2.crash",
                           system() + "/Ferrymark_9.crash", system() + "/Helper_9.crash"}));
    EXPECT_EQ(QVFCrashReportController::crashReportText(
                  QVFCrashReportController::getLatestCrashLogs(), referenceSeconds(hoursAgo(4))),
              block("Ferrymark_1.crash", "f1") + block("Helper_2.crash", "h2") +
                  block("Ferrymark_9.crash", "f9") + block("Helper_9.crash", "h9"));
}

TEST_F(CrashReporter, ANameThatPrefixesAnotherKeepsItsOwnLogs) {
    writeLog(ours(), "Notes_1.crash", "notes", hoursAgo(2));
    writeLog(ours(), "Notes Pro_1.crash", "notes pro", hoursAgo(1));
    const QStringList logs = QVFCrashReportController::getLatestCrashLogsFromPath(ours());
    EXPECT_TRUE(logs.contains(ours() + "/Notes_1.crash"));
    EXPECT_TRUE(logs.contains(ours() + "/Notes Pro_1.crash"));
    EXPECT_EQ(logs.size(), 2);
}

TEST_F(CrashReporter, LogsThatAreNotTextOrEmptyAreLeftOut) {
    const QString binary = writeLog(ours(), "Ferrymark_bin.crash",
                                    QByteArray("\x7f"
                                               "ELF\0\0\x01",
                                               7),
                                    hoursAgo(1));
    const QString blank = writeLog(ours(), "Ferrymark_blank.crash", " \n\t\n", hoursAgo(1));
    const QString latin1 = writeLog(ours(), "Ferrymark_l1.crash", "caf\xe9", hoursAgo(1));
    EXPECT_EQ(QVFCrashReportController::crashReportText({binary, blank, latin1},
                                                        referenceSeconds(hoursAgo(2))),
              block("Ferrymark_l1.crash", QString::fromUtf8("café")));
}

// The system's own reports (coredumpctl) join ours in the diagnostic folder.
TEST_F(CrashReporter, SystemReportsAreCollectedAndTheNewestOffered) {
    env_.writeFile("bin/coredumpctl",
                   "#!/bin/sh\n"
                   "echo \"$@\" > \"$(dirname \"$0\")/arguments\"\n"
                   "printf '           PID: 11 (app)\\n        Signal: 11 (SEGV)\\n\\n'\n"
                   "printf '           PID: 12 (app)\\n        Signal: 6 (ABRT)\\n'\n");
    ASSERT_TRUE(QFile::setPermissions(env_.path("bin/coredumpctl"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", env_.path("bin").toUtf8() + ':' + savedPath);
    const QDateTime lastCheck = hoursAgo(1).addMSecs(-hoursAgo(1).time().msec());
    setLastCheck(referenceSeconds(lastCheck));
    const bool found = QVFCrashReportController::checkForCrashAndReport(false);
    qputenv("PATH", savedPath);

    EXPECT_TRUE(found);
    QFile arguments(env_.path("bin/arguments"));
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(arguments.readAll()).trimmed(),
              QStringLiteral("info --no-pager --quiet --since=@%1 %2")
                  .arg(lastCheck.toSecsSinceEpoch())
                  .arg(QCoreApplication::applicationFilePath()));
    const QString text = QVFCrashReportController::crashReportText(
        QVFCrashReportController::getLatestCrashLogs(), referenceSeconds(lastCheck));
    EXPECT_TRUE(text.contains("_system_")) << text.toStdString();
    EXPECT_TRUE(text.contains("PID: 12 (app)\n        Signal: 6 (ABRT)\n"));
    EXPECT_FALSE(text.contains("PID: 11"));
}

TEST(CrashReportWindow, EmailFieldTextFromNameAndAddress) {
    EXPECT_EQ(QVFCrashReportController::emailFieldText("Ada Byron", "ada@example.org"),
              "Ada Byron <ada@example.org>");
    EXPECT_EQ(QVFCrashReportController::emailFieldText("", "ada@example.org"), "ada@example.org");
    EXPECT_EQ(QVFCrashReportController::emailFieldText("Ada Byron", ""), "");
}

TEST(CrashReportWindow, TabInTheDescriptionMovesToTheEmailField) {
    QVFCrashReportController controller;
    controller.descriptionText()->setFocus();
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, "\t");
    QApplication::sendEvent(controller.descriptionText(), &tab);
    EXPECT_EQ(controller.focusWidget(), controller.emailField());
    EXPECT_EQ(controller.description(), "");
}

TEST(CrashReportWindow, AnEmailOfOnlySpacesAsksForOneAndSendsNothing) {
    TestEnvironment env;
    RecordingHTTPServer server;
    QVFCrashReportController::setCrashReportURL(server.url("/crash").toString());
    QVFCrashReportController controller;
    controller.setEmail("   ");
    controller.show();
    controller.send();
    const QMessageBox* alert = controller.findChild<QMessageBox*>();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Email address required");
    EXPECT_EQ(alert->informativeText(),
              "Please provide an email address so that we can get back to you if we need more "
              "information.");
    EXPECT_TRUE(controller.isVisible());
    EXPECT_TRUE(controller.sendButton()->isEnabled());
    EXPECT_EQ(controller.currentTask(), nullptr);
    runEventLoopUntil([] { return false; }, 200);
    EXPECT_TRUE(server.requests().isEmpty());
}

// The form the service receives, byte for byte; the window closes without
// waiting for the answer.
TEST(CrashReportWindow, SendPostsTheMultipartFormAndClosesAtOnce) {
    TestEnvironment env;
    RecordingHTTPServer server;
    QVFCrashReportController::setCrashReportURL(server.url("/crashreport").toString());
    QVFCrashReportController controller;
    controller.setEmail(" Ada <ada@example.org> ");
    controller.descriptionText()->setPlainText(QString::fromUtf8("It crashed — twice"));
    controller.setCrashReportLog("log one\n");
    controller.setCrashReportLog("log two");
    controller.show();
    controller.send();
    EXPECT_FALSE(controller.sendButton()->isEnabled());
    ASSERT_TRUE(runEventLoopUntil([&] { return !controller.isVisible(); }, 5000));
    EXPECT_EQ(controller.result(), 1);
    ASSERT_TRUE(runEventLoopUntil([&] { return !server.requests().isEmpty(); }, 10000));

    const RecordingHTTPServer::Request& request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/crashreport");
    const QByteArray contentType = request.header("Content-Type");
    const QByteArray prefix = "multipart/form-data; boundary=";
    ASSERT_TRUE(contentType.startsWith(prefix)) << contentType.toStdString();
    const QByteArray mark = contentType.mid(prefix.size());
    EXPECT_TRUE(
        QRegularExpression("^Quorvel-[0-9a-f]{32}$").match(QString::fromLatin1(mark)).hasMatch())
        << mark.toStdString();
    EXPECT_EQ(request.header("User-Agent"), "Ferrymark");
    QByteArray expected(
        "--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"product\"\r\n\r\n"
        "Ferrymark\r\n"
        "--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"crashlog\"\r\n\r\n"
        "Email:  Ada <ada@example.org> \r\n"
        "Description: It crashed \xe2\x80\x94 twice\r\n\r\n"
        "###\r\n\r\n"
        "log one\nlog two"
        "\r\n--0xKhTmLbOuNdArY--\r\n");
    EXPECT_EQ(request.body, expected.replace("0xKhTmLbOuNdArY", mark));
}

// A part that holds the candidate boundary (a log quoting an earlier upload)
// would end its part early: the candidate is drawn again.
TEST(CrashReportWindow, TheBoundaryOccursInNoPart) {
    QStringList candidates{"Quorvel-aaaa", "Quorvel-bbbb", "Quorvel-cccc"};
    const auto next = [&candidates] { return candidates.takeFirst(); };
    EXPECT_EQ(QVFCrashReportController::multipartBoundary(
                  {"Ferrymark", "ada@example.org", "quoting Quorvel-bbbb",
                   "--Quorvel-aaaa\r\nContent-Disposition: form-data; name=\"forged\""},
                  next),
              "Quorvel-cccc");
    EXPECT_TRUE(candidates.isEmpty());
    const QString drawn = QVFCrashReportController::multipartBoundary({"log"});
    EXPECT_NE(drawn, QVFCrashReportController::multipartBoundary({"log"}));
}

// Cancel closes the window, counts one unreported crash and still stores the
// check time, so the same logs are not offered again.
TEST_F(CrashReporter, CancelCountsAnUnreportedCrashAndStoresTheTime) {
    writeLog(ours(), "Ferrymark_1.crash", "boom", hoursAgo(1));
    writeLog(QDir(env_.dataHome()).filePath("Ferrymark/Logs"), "Ferrymark_2026.log", "app log",
             hoursAgo(1));
    setLastCheck(referenceSeconds(hoursAgo(2)));
    QString shownLog;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<QVFCrashReportController*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        shownLog = window->crashReportLog();
        window->cancel();
    });
    EXPECT_TRUE(QVFCrashReportController::checkForCrashAndReport(true));
    EXPECT_EQ(shownLog,
              block("Ferrymark_1.crash", "boom") + block("Ferrymark_2026.log", "app log"));
    EXPECT_EQ(UserDefaults::standard().integerForKey(kUnreportedKey), 1);
    EXPECT_GT(UserDefaults::standard().doubleForKey(kLastDateKey), referenceSeconds(hoursAgo(1)));
    EXPECT_FALSE(QVFCrashReportController::checkForCrashAndReport(false));
}
