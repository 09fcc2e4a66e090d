// Encrypted passages through the front ends: the command line's passphrase
// options and their usage errors, the terminal prompt, the window's question,
// the summary's counts, and the passphrase kept out of every file the run
// writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QDirIterator>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/EvernoteExportPanel.h"
#include "app/ImportCommand.h"
#include "app/TerminalPassphrasePrompt.h"
#include "formats/PMNoteFile.h"
#include "platform/apps/PelmoraStandIn.h"
#include "tests/app/AlertWatcher.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/PassageEncryptor.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QByteArray kPassphrase = "Ünique-passphrase-7Q";

struct Output {
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
};

// One note with a passage `kPassphrase` opens and one that nothing given opens.
QByteArray secretsENEX() {
    const QString opened = PassageEncryptor::element(
        PassageEncryptor::aes("<b>opened words</b>", kPassphrase), QStringLiteral("AES"),
        QStringLiteral("128"), QStringLiteral("usual"));
    const QString closed =
        PassageEncryptor::element(PassageEncryptor::rc2("other words", "not given"), QString(),
                                  QString(), QStringLiteral("forgotten"));
    return buildENEX({{QStringLiteral("Secrets"),
                       QStringLiteral("<div>a %1 b</div><div>c %2 d</div>").arg(opened, closed)}});
}

QString noteText(const QString& package) {
    const auto note = PMNoteFile::noteFileWithFileURL(QUrl::fromLocalFile(package));
    return note ? note->noteText()->string() : QString();
}

// The files under `folder` that hold `needle`.
QStringList filesHolding(const QString& folder, const QByteArray& needle) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle))
            found << file.fileName();
    }
    return found;
}

}  // namespace

TEST(EncryptedPassageImport, PassphraseFileOpensPassagesAndTheSummaryCountsThem) {
    TestEnvironment env;
    const QString file = env.writeFile(QStringLiteral("in/Notes.enex"), secretsENEX());
    const QString phrases =
        env.writeFile(QStringLiteral("in/phrases.txt"), "first guess\n" + kPassphrase + "\n");
    const QString library = env.path(QStringLiteral("library"));
    Output o;
    // One passage stays closed: the run tells, and does not claim full success.
    EXPECT_EQ(runImportCommand({file, QStringLiteral("--library"), library,
                                QStringLiteral("--passphrase-file"), phrases},
                               o.outStream, o.errStream),
              3)
        << o.err.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("1 encrypted passages were decrypted.")));
    EXPECT_TRUE(o.out.contains(QStringLiteral("1 encrypted passages could not be decrypted")));
    EXPECT_EQ(noteText(library + QStringLiteral("/Notes/Secrets.pmnote")).trimmed(),
              QStringLiteral("a opened words b\nc ******** d"));
    QFile log(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray logText = log.readAll();
    EXPECT_TRUE(logText.contains("(hint \"forgotten\") of note \"Secrets\" could not be decrypted"))
        << logText.toStdString();
    // Nothing the run wrote holds the passphrase, in any form.
    for (const QString& folder :
         {env.dataHome(), env.configHome(), env.tempDir(), env.stateHome(), library})
        for (const QByteArray& form : {kPassphrase, QString::fromUtf8(kPassphrase).toLatin1(),
                                       kPassphrase.toBase64(), kPassphrase.toHex()})
            EXPECT_EQ(filesHolding(folder, form), QStringList()) << form.toStdString();
    PelmoraStandIn::setLibraryPathOverride(QString());
}

TEST(EncryptedPassageImport, UnusablePassphraseFilesAreUsageErrors) {
    TestEnvironment env;
    const QString file = env.writeFile(QStringLiteral("Notes.enex"), secretsENEX());
    const QString big = env.writeFile(QStringLiteral("big.txt"),
                                      QByteArray(PassphraseList::maximumFileBytes + 1, 'p'));
    const QString library = env.path(QStringLiteral("library"));
    for (const QString& phrases : {env.path(QStringLiteral("missing.txt")), big}) {
        Output o;
        EXPECT_EQ(runImportCommand({file, QStringLiteral("--library"), library,
                                    QStringLiteral("--passphrase-file"), phrases},
                                   o.outStream, o.errStream),
                  2);
        EXPECT_TRUE(o.err.contains(phrases)) << o.err.toStdString();
        EXPECT_FALSE(QDir(library + QStringLiteral("/Notes")).exists());
    }
    Output o;
    EXPECT_EQ(
        runImportCommand({file, QStringLiteral("--passphrase-file")}, o.outStream, o.errStream), 2);
}

TEST(EncryptedPassageImport, TerminalPromptTakesOneLineAndRefusesOverlongOnes) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const QByteArray input = "secret one\r\nnext line\n";
    ASSERT_EQ(::write(pipeFds[1], input.constData(), size_t(input.size())), input.size());
    const int sink = ::open("/dev/null", O_WRONLY);
    PassphraseList list;
    ASSERT_TRUE(TerminalPassphrasePrompt::askInto(list, QStringLiteral("? "), pipeFds[0], sink));
    ASSERT_TRUE(TerminalPassphrasePrompt::askInto(list, QStringLiteral("? "), pipeFds[0], sink));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.at(0), QByteArrayView("secret one"));
    EXPECT_EQ(list.at(1), QByteArrayView("next line"));
    const QByteArray overlong(TerminalPassphrasePrompt::maximumPassphraseBytes + 1, 'x');
    ASSERT_EQ(::write(pipeFds[1], overlong.constData(), size_t(overlong.size())), overlong.size());
    ::close(pipeFds[1]);
    Error error;
    EXPECT_FALSE(
        TerminalPassphrasePrompt::askInto(list, QStringLiteral("? "), pipeFds[0], sink, &error));
    EXPECT_EQ(error.code(), 2);
    EXPECT_FALSE(
        TerminalPassphrasePrompt::askInto(list, QStringLiteral("? "), pipeFds[0], sink, &error));
    EXPECT_EQ(error.code(), 1);  // the input has ended
    EXPECT_EQ(list.count(), 2);
    ::close(pipeFds[0]);
    ::close(sink);
}

namespace {

// Answers the window's passphrase question, when it comes, by typing
// `typed` and clicking `button`; counts how often it was asked.
struct PromptAnswerer {
    QString typed;
    QString button;
    int asked = 0;
    QTimer timer;

    PromptAnswerer(const QString& typedText, const QString& buttonText)
        : typed(typedText), button(buttonText) {
        QObject::connect(&timer, &QTimer::timeout, [this] { answer(); });
        timer.start(20);
    }
    void answer() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("PassphrasePrompt") ||
            !dialog->isVisible() || dialog->property("answered").toBool())
            return;
        dialog->setProperty("answered", true);
        ++asked;
        auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("PassphraseField"));
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->echoMode(), QLineEdit::Password);
        QTest::keyClicks(field, typed);
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            if (b->text() == button) QTest::mouseClick(b, Qt::LeftButton);
    }
};

struct WindowRun {
    TestEnvironment env;
    QMainWindow window;
    EvernoteExportPanel panel;
    AlertWatcher alerts;
    QList<int> returnCodes;

    WindowRun() {
        panel.setURLOpener([](const QUrl&) { return true; });
        QObject::connect(&panel, &EvernoteExportPanel::sheetEnded,
                         [this](int code) { returnCodes << code; });
        window.show();
    }
    QString library() const { return env.dataHome() + QStringLiteral("/Pelmora 3/Library"); }
    void import(const QByteArray& enex) {
        const QString file = env.writeFile(QStringLiteral("Notes.enex"), enex);
        panel.showSheetOnWindow(&window, QUrl::fromLocalFile(file));
        ASSERT_TRUE(runEventLoopUntil([&] { return !returnCodes.isEmpty(); }, 120000));
        ASSERT_TRUE(runEventLoopUntil([&] { return !alerts.alerts.isEmpty(); }));
    }
};

}  // namespace

TEST(EncryptedPassageWindow, AsksOnceAndDecryptsWithTheAnswer) {
    WindowRun run;
    PromptAnswerer answerer(QString::fromUtf8(kPassphrase), QStringLiteral("Decrypt"));
    run.import(secretsENEX());
    EXPECT_EQ(answerer.asked, 1);
    EXPECT_EQ(noteText(run.library() + QStringLiteral("/Notes/Secrets.pmnote")).trimmed(),
              QStringLiteral("a opened words b\nc ******** d"));
    ASSERT_EQ(run.alerts.alerts.size(), 1);
    EXPECT_TRUE(run.alerts.alerts[0].informativeText.contains(
        QStringLiteral("1 encrypted passages were decrypted.")));
    EXPECT_TRUE(run.alerts.alerts[0].buttons.contains(QStringLiteral("Show Log")));
}

TEST(EncryptedPassageWindow, SkipKeepsThePassagesHidden) {
    WindowRun run;
    PromptAnswerer answerer(QString::fromUtf8(kPassphrase), QStringLiteral("Skip"));
    run.import(secretsENEX());
    EXPECT_EQ(answerer.asked, 1);
    EXPECT_EQ(noteText(run.library() + QStringLiteral("/Notes/Secrets.pmnote")).trimmed(),
              QStringLiteral("a ******** b\nc ******** d"));
    ASSERT_EQ(run.alerts.alerts.size(), 1);
    EXPECT_FALSE(run.alerts.alerts[0].informativeText.contains(QStringLiteral("encrypted")));
}

TEST(EncryptedPassageWindow, AnExportWithoutPassagesAsksNothing) {
    WindowRun run;
    PromptAnswerer answerer(QString(), QStringLiteral("Skip"));
    run.import(buildENEX({{QStringLiteral("Plain"), QStringLiteral("<div>words</div>")}}));
    EXPECT_EQ(answerer.asked, 0);
}
