// ENML to XHTML, and ENML to a note's rich text (through the HTML importer
// with the note service's hook), on any bytes taken as a note's content, with
// one image and one file attachment that en-media tags may name (see the seeds);
// before them, the note's links between notes are resolved against a few titles.
#include <QDir>
#include <cstdint>

#include "enex/EvernoteNoteLinks.h"
#include "enex/EvernoteXMLItem.h"
#include "fuzz/support/FuzzSupport.h"
#include "platform/xml/XMLDocument.h"

namespace {

std::unique_ptr<EvernoteXMLResource> resource(const QByteArray& bytes, const QString& mime,
                                              const QString& fileName) {
    auto r = std::make_unique<EvernoteXMLResource>();
    r->base64Data = bytes.toBase64();
    r->mime = mime;
    r->attributes.filename = fileName;
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSupport::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray enml(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto document = XMLDocument::parse(enml);
    if (!document) return 0;
    static const auto links = [] {
        auto index = std::make_shared<EvernoteNoteLinkIndex>();
        for (const char* title : {"Fuzz", "Note", "note", "Target"})
            index->addTitle(QString::fromUtf8(title));
        index->seal();
        return std::make_shared<EvernoteNoteLinks>(index);
    }();
    links->resolveLinksInNote(document->rootElement(), QStringLiteral("Fuzz"));
    const QString notebook = FuzzSupport::scratchFolder() + QStringLiteral("/Notebook");
    QDir().mkpath(notebook);
    {
        EvernoteXMLItem item(QUrl::fromLocalFile(notebook));
        item.record().title = QStringLiteral("Fuzz");
        // md5 "fuzz image" and "fuzz file", which the seeds name.
        item.record().resources.push_back(
            resource("fuzz image", QStringLiteral("image/png"), QStringLiteral("a.png")));
        item.record().resources.push_back(
            resource("fuzz file", QStringLiteral("application/pdf"), QStringLiteral("b.pdf")));
        const QString scratch = notebook + u'/' + item.record().identifier;
        QDir().mkdir(scratch);
        item.intermediateHTMLDirectoryURL = QUrl::fromLocalFile(scratch);
        item.noteXHTMLStringFromNoteElement(document->rootElement());
        item.noteTextForElement(document->rootElement());
    }
    QDir(notebook).removeRecursively();
    return 0;
}
