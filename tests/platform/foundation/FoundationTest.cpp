#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <QDateTime>
#include <QFile>
#include <QThread>
#include <QTimeZone>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <set>

#include "platform/foundation/DateText.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/OutputStream.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestEnvironment.h"

TEST(FormatTest, FillsObjectsAndNumbersInOrder) {
    EXPECT_EQ(stringWithFormat(QStringLiteral("%@ of %lu notes, %ld left"),
                               {QStringLiteral("A"), 10ul, -3l}),
              QStringLiteral("A of 10 notes, -3 left"));
}

TEST(FormatTest, PositionalArgumentsReorder) {
    EXPECT_EQ(stringWithFormat(QStringLiteral("%2$@ before %1$@"),
                               {QStringLiteral("one"), QStringLiteral("two")}),
              QStringLiteral("two before one"));
}

TEST(FormatTest, MissingArgumentsAndPercentDoNotCrash) {
    EXPECT_EQ(stringWithFormat(QStringLiteral("100%% %@ %ld"), {}),
              QStringLiteral("100% (null) 0"));
    EXPECT_EQ(stringWithFormat(QStringLiteral("ends with %"), {}), QStringLiteral("ends with %"));
}

TEST(FormatTest, ErrorPrintsItsDescription) {
    const Error e(QStringLiteral("EvernoteExport"), 10003,
                  QStringLiteral("Pelmora app not found."));
    EXPECT_EQ(
        stringWithFormat(QStringLiteral("Error: %@"), {e}),
        QStringLiteral("Error: Error Domain=EvernoteExport Code=10003 \"Pelmora app not found.\""));
}

TEST(ErrorTest, KeepsUnderlyingError) {
    const Error cause = posixError(EEXIST, QStringLiteral("/tmp/x"));
    const Error e(QStringLiteral("D"), 1, QStringLiteral("outer"), cause);
    ASSERT_NE(e.underlyingError(), nullptr);
    EXPECT_EQ(e.underlyingError()->code(), EEXIST);
    EXPECT_TRUE(e.description().contains(QStringLiteral("NSPOSIXErrorDomain")));
    EXPECT_TRUE(Error().isNull());
}

TEST(LocalizationTest, ParsesStringsTablesWithCommentsAndEscapes) {
    const auto table =
        parseStringsTable(QStringLiteral("/* comment */\n\"Untitled\" = \"Sans titre\";\n// "
                                         "line\n\"A \\\"q\\\"\" = \"B\\n\\U00e9\";"));
    EXPECT_EQ(table.value(QStringLiteral("Untitled")), QStringLiteral("Sans titre"));
    EXPECT_EQ(table.value(QStringLiteral("A \"q\"")), QStringLiteral("B\n\u00e9"));
}

TEST(LocalizationTest, UntranslatedKeyIsItsOwnText) {
    setLocalizationLanguage(QStringLiteral("xx"));
    EXPECT_EQ(localizedString("Pelmora app not found."), QStringLiteral("Pelmora app not found."));
    setLocalizationLanguage(QString());
}

TEST(DateTextTest, StandardDescriptionIsUTC) {
    const QDateTime d(QDate(2026, 12, 7), QTime(13, 47, 3), QTimeZone(3600));
    EXPECT_EQ(standardDateDescription(d), QStringLiteral("2026-12-07 12:47:03 +0000"));
}

TEST(DateTextTest, MediumDateShortTimeTextShowsMinutesButNeverSeconds) {
    const QDate day(2026, 12, 7);
    const QDateTime early(day, QTime(13, 47, 3));
    const QDateTime late(day, QTime(13, 47, 58, 250));
    // The C locale's own short time form has seconds; the others' have not.
    for (const QLocale& locale :
         {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
          QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Japanese, QLocale::Japan),
          QLocale(QLocale::Finnish, QLocale::Finland)}) {
        const QString text = mediumDateShortTimeText(early, locale);
        EXPECT_EQ(text, mediumDateShortTimeText(late, locale)) << text.toStdString();
        EXPECT_TRUE(text.contains(locale.toString(early.time(), QStringLiteral("mm"))))
            << text.toStdString();
        EXPECT_FALSE(text.contains(locale.toString(early.time(), QStringLiteral("ss"))))
            << text.toStdString();
    }
    EXPECT_TRUE(mediumDateShortTimeText(early, QLocale::c()).endsWith(QStringLiteral("13:47")));
}

// The medium date style is the locale's own, not one guessed from its short style.
TEST(DateTextTest, MediumDateStyleIsTheLocalesOwn) {
    const QDateTime evening(QDate(2026, 12, 9), QTime(20, 34, 12));
    EXPECT_EQ(mediumDateShortTimeText(evening, QLocale(QLocale::English, QLocale::UnitedKingdom)),
              QStringLiteral("9 Dec 2026, 20:34"));
    EXPECT_EQ(mediumDateShortTimeText(evening, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("09.12.2026, 20:34"));
    // English (US): "Dec 9, 2026, 8:34 PM", with the space before "PM" as
    // the locale data of the installed ICU has it.
    const QString us =
        mediumDateShortTimeText(evening, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(us.startsWith(QStringLiteral("Dec 9, 2026, 8:34"))) << us.toStdString();
    EXPECT_TRUE(us.endsWith(QStringLiteral("PM"))) << us.toStdString();
    // The shown time is the local wall clock, whatever zone ICU assumes.
    const QDateTime utc = evening.toUTC();
    EXPECT_EQ(mediumDateShortTimeText(utc, QLocale::c()),
              mediumDateShortTimeText(evening, QLocale::c()));
    EXPECT_EQ(mediumDateShortTimeText(evening, QLocale::c()), QStringLiteral("9 Dec 2026, 20:34"));
}

TEST(DateTextTest, CompactTimestampsAreReadStrictly) {
    const QDateTime d = dateFromCompactTimestamp(u"20131231T235959Z");
    ASSERT_TRUE(d.isValid());
    EXPECT_EQ(d.date().year(), 2013);  // no week-year confusion at the end of December
    EXPECT_EQ(d, QDateTime(QDate(2013, 12, 31), QTime(23, 59, 59), QTimeZone::utc()));
    EXPECT_FALSE(dateFromCompactTimestamp(u"2757600913T000000Z").isValid());
    EXPECT_FALSE(dateFromCompactTimestamp(u"20130230T000000Z").isValid());
    EXPECT_FALSE(dateFromCompactTimestamp(u"20130730T245204Z").isValid());
    EXPECT_FALSE(dateFromCompactTimestamp(u"2013-07-30T20:52:04Z").isValid());
    EXPECT_EQ(compactTimestamp(d), QStringLiteral("20131231T235959Z"));
}

TEST(DateTextTest, UUIDsAreUpperCase36Characters) {
    const QString a = makeUUIDString();
    EXPECT_EQ(a.size(), 36);
    EXPECT_EQ(a, a.toUpper());
    EXPECT_NE(a, makeUUIDString());
}

TEST(OperationQueueTest, SerialQueueRunsInOrderOnAnotherThread) {
    OperationQueue queue;
    std::vector<int> order;
    std::atomic<bool> otherThread{true};
    QThread* main = QThread::currentThread();
    for (int i = 0; i < 20; ++i)
        queue.addOperationWithBlock([&, i] {
            order.push_back(i);
            if (QThread::currentThread() == main) otherThread = false;
        });
    queue.waitUntilAllOperationsAreFinished();
    ASSERT_EQ(order.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
    EXPECT_TRUE(otherThread);
}

TEST(OperationQueueTest, CancelledOperationFinishesWithoutRunning) {
    OperationQueue queue;
    std::atomic<bool> release{false};
    queue.addOperationWithBlock([&] {
        while (!release) QThread::msleep(1);
    });
    bool ran = false;
    auto op = std::make_shared<BlockOperation>([&] { ran = true; });
    queue.addOperation(op);
    op->cancel();
    release = true;
    op->waitUntilFinished();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(op->isFinished());
}

namespace {
// An asynchronous operation that finishes later, from another thread.
class LateOperation : public Operation {
  public:
    bool isAsynchronous() const override { return true; }
    void main() override {
        std::thread([self = shared_from_this(), this] {
            QThread::msleep(30);
            setFinished(true);
        }).detach();
    }
};
}  // namespace

TEST(OperationQueueTest, AsynchronousOperationHoldsTheSerialQueue) {
    OperationQueue queue;
    auto late = std::make_shared<LateOperation>();
    queue.addOperation(late);
    bool lateWasFinished = false;
    queue.addOperations(
        {std::make_shared<BlockOperation>([&] { lateWasFinished = late->isFinished(); })}, true);
    EXPECT_TRUE(lateWasFinished);
}

namespace {
// Counts the worker threads that have ended, by a thread-local object's
// destructor: it runs only once the thread has fully exited.
std::atomic<int> threadsStarted{0};
std::atomic<int> threadsEnded{0};
struct ThreadExitWitness {
    ThreadExitWitness() { ++threadsStarted; }
    ~ThreadExitWitness() { ++threadsEnded; }
};
void witnessThisThread() { static thread_local ThreadExitWitness witness; }
}  // namespace

// Thread-local state (the digest engine's among it) is released when a worker
// ends; a queue that leaves its workers running past its own end lets them end
// after the process's cleanup.
TEST(OperationQueueTest, DestroyingTheQueueEndsItsWorkerThreads) {
    threadsStarted = 0;
    threadsEnded = 0;
    {
        OperationQueue queue;
        queue.setMaxConcurrentOperationCount(3);
        for (int i = 0; i < 12; ++i) queue.addOperationWithBlock([] { witnessThisThread(); });
        queue.waitUntilAllOperationsAreFinished();
        EXPECT_GE(threadsStarted.load(), 1);
        EXPECT_LE(threadsStarted.load(), 3);
    }
    EXPECT_EQ(threadsEnded.load(), threadsStarted.load());
}

TEST(OperationQueueTest, WorkersStayWithinTheLimitAndAreReused) {
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(2);
    std::mutex mutex;
    std::set<QThread*> threads;
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    auto batch = [&] {
        std::vector<std::shared_ptr<Operation>> operations;
        for (int i = 0; i < 8; ++i)
            operations.push_back(std::make_shared<BlockOperation>([&] {
                const int now = ++running;
                for (int seen = peak; now > seen && !peak.compare_exchange_weak(seen, now);) {
                }
                {
                    std::lock_guard lock(mutex);
                    threads.insert(QThread::currentThread());
                }
                QThread::yieldCurrentThread();
                --running;
            }));
        queue.addOperations(operations, true);
    };
    batch();
    batch();  // after the first batch the workers wait idle, and take this one
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_LE(peak.load(), 2);
    EXPECT_LE(threads.size(), 2u);
    EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(OperationQueueTest, MainQueueRunsOnMainThreadAndInlineFromIt) {
    QThread* main = QThread::currentThread();
    QThread* ranOn = nullptr;
    OperationQueue worker;
    std::atomic<bool> done{false};
    worker.addOperationWithBlock([&] {
        OperationQueue::mainQueue().addOperations(
            {std::make_shared<BlockOperation>([&] { ranOn = QThread::currentThread(); })}, true);
        done = true;
    });
    ASSERT_TRUE(runEventLoopUntil([&] { return done.load(); }));
    EXPECT_EQ(ranOn, main);
    bool inlineRan = false;
    OperationQueue::mainQueue().addOperations(
        {std::make_shared<BlockOperation>([&] { inlineRan = true; })}, true);
    EXPECT_TRUE(inlineRan);
}

TEST(UserDefaultsTest, AbsentMeansOffAndSuitesAreSearched) {
    TestEnvironment env;
    UserDefaults defaults(QStringLiteral("com.example.app"));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("ExportDebug")));
    EXPECT_EQ(defaults.doubleForKey(QStringLiteral("DefaultNoteFontSize")), 0.0);
    PlistDictionary suite;
    suite.set(QStringLiteral("DefaultNoteFontSize"), 14.5);
    ASSERT_TRUE(UserDefaults::writeDictionary(suite, QStringLiteral("com.example.suite")));
    defaults.addSuiteNamed(QStringLiteral("com.example.suite"));
    EXPECT_EQ(defaults.doubleForKey(QStringLiteral("DefaultNoteFontSize")), 14.5);
    ASSERT_TRUE(defaults.setObject(true, QStringLiteral("ExportDebug")));
    EXPECT_TRUE(
        UserDefaults(QStringLiteral("com.example.app")).boolForKey(QStringLiteral("ExportDebug")));
    EXPECT_TRUE(
        QFile::exists(env.configHome() + QStringLiteral("/preferences/com.example.app.plist")));
    ASSERT_TRUE(defaults.removeObject(QStringLiteral("ExportDebug")));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("ExportDebug")));
}

TEST(OutputStreamTest, AppendsToExistingFile) {
    TestEnvironment env;
    const QString path = env.writeFile(QStringLiteral("log.txt"), "first\n");
    OutputStream stream(path);
    ASSERT_TRUE(stream.open());
    EXPECT_EQ(stream.write("second\n"), 7);
    stream.close();
    EXPECT_EQ(stream.write("x"), -1);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("first\nsecond\n"));
}

namespace {
// The names of a file's extended attributes in the user namespace, sorted.
QStringList userAttributeNames(const QString& path) {
    char buffer[4096];
    const ssize_t n = ::listxattr(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    QStringList names;
    for (const QByteArray& name : QByteArray(buffer, n < 0 ? 0 : n).split('\0'))
        if (name.startsWith("user.")) names << QString::fromUtf8(name);
    names.sort();
    return names;
}
}  // namespace

// A note's attributes go on its file under their own names; one the file
// system cannot take (a value beyond any file system's limit) is named in the
// error, and the others are still set.
TEST(FileResourceValuesTest, ExtendedAttributesThatCannotBeSetAreNamed) {
    TestEnvironment env;
    const QString path = env.writeFile(QStringLiteral("note.pmnote"), "x");
    FileResourceValues values;
    values.extendedAttributes = {{"user.xdg.creator", "someone"},
                                 {"user.ferrymark.place-name", QByteArray(70000, 'x')},
                                 {"user.ferrymark.latitude", "52.5"}};
    Error error;
    EXPECT_FALSE(setResourceValues(path, values, &error));
    if (error.code() == ENOTSUP) GTEST_SKIP() << "no extended attributes here";
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("user.ferrymark.place-name")))
        << error.localizedDescription().toStdString();
    EXPECT_FALSE(error.localizedDescription().contains(QStringLiteral("user.xdg.creator")));
    EXPECT_EQ(extendedAttribute(path, "user.xdg.creator"), QByteArray("someone"));
    EXPECT_EQ(extendedAttribute(path, "user.ferrymark.latitude"), QByteArray("52.5"));
    EXPECT_FALSE(extendedAttribute(path, "user.ferrymark.place-name").has_value());
}

// Only the values given are written: a new file gets exactly their attributes,
// and what is not given is neither written nor removed.
TEST(FileResourceValuesTest, WritesOnlyTheGivenValues) {
    TestEnvironment env;
    const QString path = env.writeFile(QStringLiteral("note.pmnote"), "x");
    FileResourceValues tagsAndDate;
    tagsAndDate.tagNames = QStringList{QStringLiteral("work"), QStringLiteral("ideas")};
    tagsAndDate.contentModificationDate =
        QDateTime(QDate(2021, 5, 4), QTime(3, 2, 1), QTimeZone::utc());
    if (!setResourceValues(path, tagsAndDate)) GTEST_SKIP() << "no extended attributes here";
    EXPECT_EQ(userAttributeNames(path), QStringList{QStringLiteral("user.xdg.tags")});
    FileResourceValues read = resourceValues(path);
    EXPECT_EQ(read.tagNames, tagsAndDate.tagNames);
    EXPECT_EQ(read.contentModificationDate, tagsAndDate.contentModificationDate);
    EXPECT_FALSE(read.hasHiddenExtension.has_value());
    EXPECT_FALSE(read.creationDate.isValid());

    FileResourceValues more;
    more.hasHiddenExtension = true;
    more.creationDate = QDateTime(QDate(2020, 1, 2), QTime(10, 0), QTimeZone::utc());
    more.comment = QStringLiteral("from the export");
    ASSERT_TRUE(setResourceValues(path, more));
    EXPECT_EQ(userAttributeNames(path),
              (QStringList{QStringLiteral("user.pelmora.creation-date"),
                           QStringLiteral("user.pelmora.extension-hidden"),
                           QStringLiteral("user.xdg.comment"), QStringLiteral("user.xdg.tags")}));
    read = resourceValues(path);
    EXPECT_EQ(read.tagNames, tagsAndDate.tagNames);  // kept: not given the second time
    EXPECT_EQ(read.creationDate, more.creationDate);
    EXPECT_EQ(read.comment, more.comment);
    EXPECT_EQ(read.contentModificationDate, tagsAndDate.contentModificationDate);
}
