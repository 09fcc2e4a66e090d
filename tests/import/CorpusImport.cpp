#include "tests/import/CorpusImport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include "import/EvernoteXMLFileExportOperation.h"
#include "platform/apps/PelmoraStandIn.h"
#include "tests/support/RecordingDelegate.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A whole run may convert web clips; give it the time the run itself allows.
constexpr int kImportTimeLimit = 240000;

}  // namespace

QString corpusFolder() {
    const QString folder =
        QDir::cleanPath(QStringLiteral(FERRYMARK_SOURCE_DIR "/../shared/corpus"));
    return QDir(folder).exists() ? folder : QString();
}

QStringList corpusFiles() {
    const QString folder = corpusFolder();
    if (folder.isEmpty()) return {};
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.enex")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
    files.sort();
    return files;
}

QString corpusName(const QString& path) { return QDir(corpusFolder()).relativeFilePath(path); }

std::string corpusTestName(const QString& path, size_t index) {
    QString name = QFileInfo(path).completeBaseName();
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    return QStringLiteral("%1_%2").arg(index).arg(name).toStdString();
}

CorpusImport importENEX(const QString& fileName, const QByteArray& enex) {
    CorpusImport result;
    TestEnvironment env;
    const QString library = env.path(QStringLiteral("library"));
    PelmoraStandIn::setLibraryPathOverride(library);
    {
        RecordingDelegate delegate;
        auto operation = std::make_shared<EvernoteXMLFileExportOperation>();
        OperationQueue queue;
        operation->setExportFileURL(
            QUrl::fromLocalFile(env.writeFile(QStringLiteral("input/") + fileName, enex)));
        operation->setDelegate(&delegate);
        queue.addOperation(operation);
        if (runEventLoopUntil([&] { return delegate.ended.load(); }, kImportTimeLimit))
            result.outcome = delegate.calls.last();
        else
            operation->cancel();
        queue.waitUntilAllOperationsAreFinished();
        result.exported = delegate.exported;
    }
    PelmoraStandIn::setLibraryPathOverride(QString());

    QFile log(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log"));
    if (log.open(QIODevice::ReadOnly)) result.log = QString::fromUtf8(log.readAll());
    if (auto items = readLibrary(library, &result.libraryError)) result.items = *items;
    return result;
}

const CorpusImport& importOfCorpusFile(const QString& path) {
    static QMap<QString, CorpusImport> imports;
    if (!imports.contains(path)) {
        QFile file(path);
        QByteArray enex;
        if (file.open(QIODevice::ReadOnly)) enex = file.readAll();
        imports.insert(path, importENEX(QFileInfo(path).fileName(), enex));
    }
    return imports[path];
}
