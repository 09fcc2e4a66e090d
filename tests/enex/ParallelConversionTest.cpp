// The parse with its conversion pool: notes convert on several workers, and
// everything a caller sees still comes in document order, once; a cancel
// leaves nothing behind; names never collide between workers.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "enex/EvernoteReservedFileName.h"
#include "enex/EvernoteXMLParseOperation.h"
#include "platform/foundation/OutputStream.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct ParseRun {
    QList<std::optional<PlistDictionary>> items;
    QList<Error> errors;
    int completions = 0;
    int itemsBeforeCompletion = -1;
    Error completionError;
    bool oneThread = true;  // every block ran on the same thread
    QStringList logLines;
};

struct Options {
    int workers = 4;
    int groupType = 70;
    qint64 attachmentMemoryLimit = EvernoteXMLResource::kDefaultMemoryLimit;
    std::function<void(EvernoteXMLParseOperation&, int handedOn)> afterItem;
};

// Parses `enex` into the folder "Notebook" of `env` on a queue and waits.
ParseRun parse(const TestEnvironment& env, const QByteArray& enex, const Options& options) {
    const QString file = env.writeFile(QStringLiteral("in.enex"), enex);
    const QString folder = env.path(QStringLiteral("Notebook"));
    QDir().mkpath(folder);
    PlistDictionary group;
    group.set(QStringLiteral("groupType"), options.groupType);
    auto op = EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(
        QUrl::fromLocalFile(file), QUrl::fromLocalFile(folder), group);
    const QString logPath = env.path(QStringLiteral("parse.log"));
    OutputStream log(logPath);
    log.open();
    op->setLogStream(&log);
    op->setWorkerCount(options.workers);
    op->setAttachmentMemoryLimit(options.attachmentMemoryLimit);
    ParseRun run;
    QThread* blockThread = nullptr;
    auto sameThread = [&] {
        if (!blockThread) blockThread = QThread::currentThread();
        if (blockThread != QThread::currentThread()) run.oneThread = false;
    };
    op->setParseOperationDidExportItemBlock(
        [&](const std::optional<PlistDictionary>& item, const Error& error) {
            sameThread();
            run.items << item;
            run.errors << error;
            if (options.afterItem) options.afterItem(*op, run.items.size());
        });
    op->setParseOperationCompletionBlock([&](const Error& error) {
        sameThread();
        ++run.completions;
        run.itemsBeforeCompletion = run.items.size();
        run.completionError = error;
    });
    OperationQueue queue;
    queue.addOperation(op);
    queue.waitUntilAllOperationsAreFinished();
    log.close();
    QFile written(logPath);
    if (written.open(QIODevice::ReadOnly))
        for (const QByteArray& line : written.readAll().split('\n')) {
            const qsizetype at =
                std::max(line.indexOf("Converting \""), line.indexOf("Skipping \""));
            if (at >= 0) run.logLines << QString::fromUtf8(line.mid(at));
        }
    return run;
}

QString title(int i) { return QStringLiteral("N%1").arg(i, 4, 10, QLatin1Char('0')); }

TestAttachment image(int i) {
    return {QByteArray("\x89PNG fake ") + QByteArray::number(i), QStringLiteral("image/png"),
            QStringLiteral("p%1.png").arg(i)};
}

// Every entry of `folder` and below, hidden ones too, relative to it.
QSet<QString> entriesBelow(const QString& folder) {
    QSet<QString> found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) found << QDir(folder).relativeFilePath(it.next());
    return found;
}

QByteArray bytesOfSize(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 9));
    return bytes;
}

}  // namespace

// A thousand notes on four workers: images (kept) and text notes (skipped,
// since the typed group has no "Notes" folder), of very different sizes, so
// that conversions finish out of order.
TEST(ParallelConversionTest, ItemsLogLinesAndCallbacksKeepDocumentOrder) {
    TestEnvironment env;
    QDir().mkpath(env.path(QStringLiteral("Notebook/Images")));
    QList<TestNote> notes;
    auto skipped = [](int i) { return i % 7 == 3; };
    for (int i = 0; i < 1000; ++i) {
        if (skipped(i)) {
            notes << TestNote{title(i), QStringLiteral("<div>text</div>").repeated(1 + i % 40)};
        } else {
            notes << TestNote{title(i), QStringLiteral("%MEDIA0%"), {}, {}, {}, {}, {}, {image(i)}};
        }
    }
    Options options;
    options.groupType = 71;
    const ParseRun run = parse(env, buildENEX(notes), options);

    ASSERT_EQ(run.items.size(), 1000);
    QStringList expectedLog;
    for (int i = 0; i < 1000; ++i) {
        expectedLog << QStringLiteral("Converting \"%1\"").arg(title(i));
        if (skipped(i)) {
            expectedLog << QStringLiteral("Skipping \"%1\"").arg(title(i));
            EXPECT_FALSE(run.items[i].has_value()) << i;
            EXPECT_FALSE(run.errors[i].isNull()) << i;
        } else {
            ASSERT_TRUE(run.items[i].has_value()) << i << run.errors[i].description().toStdString();
            EXPECT_EQ(run.items[i]->value(QStringLiteral("filename")).toString(),
                      title(i) + QStringLiteral(".png"));
        }
    }
    EXPECT_EQ(run.logLines, expectedLog);
    EXPECT_EQ(run.completions, 1);
    EXPECT_EQ(run.itemsBeforeCompletion, 1000);  // the end after the last item
    EXPECT_TRUE(run.completionError.isNull());
    EXPECT_TRUE(run.oneThread);
}

// A cancel from the item block while the pool is full of notes whose large
// attachments sit in files: nothing more is handed on, the parse ends with an
// error, and only the items handed on are left in the folder.
TEST(ParallelConversionTest, CancelWithAFullPoolLeavesOnlyTheItemsHandedOn) {
    TestEnvironment env;
    QList<TestNote> notes;
    for (int i = 0; i < 120; ++i) {
        const TestAttachment big{bytesOfSize(8 * 1024 + i), QStringLiteral("application/pdf"),
                                 QStringLiteral("a%1.pdf").arg(i)};
        const QString enml =
            i % 2 ? QStringLiteral("%MEDIA0%") : QStringLiteral("<div>see %MEDIA0%</div>");
        notes << TestNote{title(i), enml, {}, {}, {}, {}, {}, {big}};
    }
    Options options;
    options.workers = 2;
    options.attachmentMemoryLimit = 1024;  // every attachment goes into a file
    options.afterItem = [](EvernoteXMLParseOperation& op, int handedOn) {
        if (handedOn == 3) op.cancel();
    };
    const ParseRun run = parse(env, buildENEX(notes), options);

    ASSERT_EQ(run.items.size(), 3);
    EXPECT_EQ(run.completions, 1);
    EXPECT_FALSE(run.completionError.isNull());
    QSet<QString> expected;
    for (const auto& item : run.items) {
        ASSERT_TRUE(item.has_value());
        const QString name = item->value(QStringLiteral("filename")).toString();
        expected << name;
        if (name.endsWith(QStringLiteral(".pmnote")))
            for (const QString& inner :
                 QDir(env.path(QStringLiteral("Notebook/") + name)).entryList(QDir::Files))
                expected << name + u'/' + inner;
    }
    EXPECT_EQ(entriesBelow(env.path(QStringLiteral("Notebook"))), expected);
}

// Forty notes with one title on four workers: numbered in document order, as
// one conversion after the other would number them.
TEST(ParallelConversionTest, SameTitlesConvertedTogetherGetNamesInDocumentOrder) {
    TestEnvironment env;
    QList<TestNote> notes;
    for (int i = 0; i < 40; ++i)
        notes << TestNote{QStringLiteral("Same"),
                          QStringLiteral("<div>%1</div>").arg(i).repeated(1 + (i * 7) % 30)};
    const ParseRun run = parse(env, buildENEX(notes), Options());
    ASSERT_EQ(run.items.size(), 40);
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(run.items[i].has_value());
        EXPECT_EQ(run.items[i]->value(QStringLiteral("filename")).toString(),
                  i == 0 ? QStringLiteral("Same.pmnote") : QStringLiteral("Same %1.pmnote").arg(i));
    }
    EXPECT_EQ(QDir(env.path(QStringLiteral("Notebook")))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                  .size(),
              40);
}

TEST(EvernoteReservedFileNameTest, NamesHeldAtOnceNeverCollide) {
    TestEnvironment env;
    const QString folder = env.root();
    std::mutex mutex;
    QStringList names;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            const EvernoteReservedFileName name(QStringLiteral("T.pmnote"), folder);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // others choose meanwhile
            QDir().mkdir(name.path());
            std::lock_guard lock(mutex);
            names << name.fileName();
        });
    }
    for (std::thread& thread : threads) thread.join();
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("T 1.pmnote"), QStringLiteral("T 2.pmnote"),
                                  QStringLiteral("T 3.pmnote"), QStringLiteral("T 4.pmnote"),
                                  QStringLiteral("T 5.pmnote"), QStringLiteral("T 6.pmnote"),
                                  QStringLiteral("T 7.pmnote"), QStringLiteral("T.pmnote")}));
}

// Large attachments go from the ENEX file into their item through a file:
// the single attachment is that file, moved; the package links it; no
// spool file is left.
TEST(ParallelConversionTest, LargeAttachmentsReachTheirItemsThroughFiles) {
    TestEnvironment env;
    const QByteArray big = bytesOfSize(3 * 1024 * 1024 + 7);
    const TestAttachment pdf{big, QStringLiteral("application/pdf"), QStringLiteral("big.pdf")};
    Options options;
    options.attachmentMemoryLimit = 64 * 1024;
    const ParseRun run = parse(
        env,
        buildENEX({{QStringLiteral("Alone"), QStringLiteral("%MEDIA0%"), {}, {}, {}, {}, {}, {pdf}},
                   {QStringLiteral("Inside"),
                    QStringLiteral("<div>see %MEDIA0%</div>"),
                    {},
                    {},
                    {},
                    {},
                    {},
                    {pdf}}}),
        options);
    ASSERT_EQ(run.items.size(), 2);
    ASSERT_TRUE(run.items[0].has_value() && run.items[1].has_value());
    auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    EXPECT_EQ(contents(run.items[0]->value(QStringLiteral("absoluteFilename")).toString()), big);
    EXPECT_EQ(contents(run.items[1]->value(QStringLiteral("absoluteFilename")).toString() +
                       QStringLiteral("/big.pdf")),
              big);
    EXPECT_EQ(entriesBelow(env.path(QStringLiteral("Notebook"))),
              (QSet<QString>{QStringLiteral("Alone.pdf"), QStringLiteral("Inside.pmnote"),
                             QStringLiteral("Inside.pmnote/TXT.rtf"),
                             QStringLiteral("Inside.pmnote/big.pdf"),
                             QStringLiteral("Inside.pmnote/NoteAttributes")}));
}
