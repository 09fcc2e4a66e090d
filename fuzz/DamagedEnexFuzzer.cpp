// The ENEX parser reading on past damage (recovery on), note by note, on any
// bytes taken as an ENEX file: the run must end, with items or errors.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdint>

#include "enex/EvernoteXMLParseOperation.h"
#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Operation.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSupport::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString file = FuzzSupport::scratchFolder() + QStringLiteral("/input.enex");
    const QString notebook = FuzzSupport::scratchFolder() + QStringLiteral("/Notebook");
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly)) return 0;
        out.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    QDir().mkpath(notebook);
    PlistDictionary group;
    group.set(QStringLiteral("groupType"), 70);
    auto operation = EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(
        QUrl::fromLocalFile(file), QUrl::fromLocalFile(notebook), group);
    operation->setWorkerCount(1);
    operation->setRecoversDamage(true);
    operation->setDamagedNotesFolder(FuzzSupport::scratchFolder() + QStringLiteral("/Damaged"));
    OperationQueue queue;
    queue.addOperation(operation);
    // A web clip loads its page on the main thread: keep it turning.
    while (queue.operationCount() > 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    queue.waitUntilAllOperationsAreFinished();
    QDir(notebook).removeRecursively();
    QDir(FuzzSupport::scratchFolder() + QStringLiteral("/Damaged")).removeRecursively();
    return 0;
}
