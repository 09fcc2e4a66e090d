#include "platform/apps/EvernoteStandIn.h"

#include <libxml/tree.h>
#include <libxml/xmlreader.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QUuid>
#include <cerrno>
#include <cstdio>

#include "platform/apps/EvernoteHTMLNoteExport.h"
#include "platform/foundation/DateText.h"

namespace {

QMutex overrideMutex;
QString folderOverride;

// A streaming reader over one ENEX file (no network, no DTD, huge text nodes allowed).
class ENEXReader {
  public:
    explicit ENEXReader(const QString& path)
        : reader_(xmlReaderForFile(
              QFile::encodeName(path).constData(), nullptr,
              XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOWARNING | XML_PARSE_NOERROR)) {}
    ~ENEXReader() {
        if (reader_) xmlFreeTextReader(reader_);
    }
    xmlTextReaderPtr get() const { return reader_; }

    // Advances to the next <note> start tag at depth 1. False at the end or on error.
    bool nextNote() {
        while (true) {
            const int status = started_ ? xmlTextReaderNext(reader_) : xmlTextReaderRead(reader_);
            started_ = true;
            failed_ = failed_ || status < 0;
            if (status != 1) return false;
            if (isNoteStart()) return true;
            if (xmlTextReaderDepth(reader_) == 0 &&
                xmlTextReaderNodeType(reader_) == XML_READER_TYPE_ELEMENT) {
                // Descend into the document element.
                const int inner = xmlTextReaderRead(reader_);
                failed_ = failed_ || inner < 0;
                if (inner != 1) return false;
                if (isNoteStart()) return true;
            }
        }
    }

    // Whether the file broke off: a fault ended the reading, not the end of the export.
    bool failed() const { return failed_ || !reader_; }

  private:
    bool isNoteStart() const {
        return xmlTextReaderNodeType(reader_) == XML_READER_TYPE_ELEMENT &&
               xmlTextReaderDepth(reader_) == 1 &&
               xmlStrEqual(xmlTextReaderConstLocalName(reader_), BAD_CAST "note");
    }
    xmlTextReaderPtr reader_;
    bool started_ = false;
    bool failed_ = false;
};

QString textOf(xmlNodePtr node) {
    xmlChar* content = xmlNodeGetContent(node);
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(content));
    xmlFree(content);
    return text;
}

// A link in Evernote's form, ending in the note's identifier: a UUID made
// from the notebook's name and the note's position, so it is the same on every
// listing and differs between notes of different notebooks.
QString noteLinkFor(const QString& notebookName, qsizetype index) {
    static const QUuid kNamespace(QStringLiteral("{5f0c2a4e-9b1d-4c3a-8e57-2d6f1a9b3c70}"));
    const QString identifier =
        QUuid::createUuidV5(kNamespace, QStringLiteral("%1/%2").arg(notebookName).arg(index))
            .toString(QUuid::WithoutBraces);
    return QStringLiteral("evernote:///view/0/s0/%1/%1/").arg(identifier);
}

// Every field of an attributes element ("note-attributes", "resource-attributes").
EvernoteAttributeList attributesOf(xmlNodePtr element) {
    EvernoteAttributeList fields;
    for (xmlNodePtr a = element->children; a; a = a->next) {
        if (a->type != XML_ELEMENT_NODE) continue;
        const QString name = QString::fromUtf8(reinterpret_cast<const char*>(a->name));
        xmlChar* key = xmlGetProp(a, BAD_CAST "key");
        const QString keyText = QString::fromUtf8(reinterpret_cast<const char*>(key));
        xmlFree(key);
        fields.append({EvernoteAttributes::fieldName(name, keyText),
                       EvernoteAttributes::keptValue(name, textOf(a))});
    }
    return fields;
}

// The "resource-attributes" of one "resource" element.
EvernoteAttributeList resourceAttributesOf(xmlNodePtr resource) {
    for (xmlNodePtr child = resource->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE &&
            xmlStrEqual(child->name, BAD_CAST "resource-attributes"))
            return attributesOf(child);
    return {};
}

EvernoteNote noteFromElement(xmlNodePtr note, const QString& path, qsizetype index) {
    EvernoteNote result;
    result.notebookPath = path;
    result.index = index;
    EvernoteAttributeList noteFields, resourceFields;
    int resources = 0;
    for (xmlNodePtr child = note->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        const QByteArray name(reinterpret_cast<const char*>(child->name));
        // Exports may be indented: the white space around a value is not part of it.
        if (name == "title")
            result.title = textOf(child).trimmed();
        else if (name == "tag")
            result.tags << textOf(child).trimmed();
        else if (name == "created")
            result.creationDate = dateFromCompactTimestamp(textOf(child).trimmed());
        else if (name == "updated")
            result.modificationDate = dateFromCompactTimestamp(textOf(child).trimmed());
        else if (name == "note-attributes") {
            for (xmlNodePtr a = child->children; a; a = a->next)
                if (a->type == XML_ELEMENT_NODE && xmlStrEqual(a->name, BAD_CAST "source-url"))
                    result.sourceURL = textOf(a).trimmed();
            noteFields += attributesOf(child);
        } else if (name == "resource") {
            ++resources;
            for (const EvernoteAttribute& field : resourceAttributesOf(child))
                resourceFields.append(
                    {EvernoteAttributes::resourceFieldName(resources, field.name), field.value});
        }
    }
    // The note's own first, as the ENEX parser gives them.
    result.attributes = noteFields + resourceFields;
    result.noteLink = noteLinkFor(QFileInfo(path).completeBaseName(), index);
    return result;
}

// Lists notes without their content: each <note> is expanded alone, then dropped.
class StandInNotebook : public EvernoteNotebook {
  public:
    explicit StandInNotebook(QString path) : path_(std::move(path)) {}
    QString name() const override { return QFileInfo(path_).completeBaseName(); }
    QList<EvernoteNote> notes() const override {
        QList<EvernoteNote> result;
        ENEXReader reader(path_);
        if (!reader.get()) return result;
        bool broken = false;
        while (reader.nextNote()) {
            xmlNodePtr note = xmlTextReaderExpand(reader.get());
            if (!note) {
                broken = true;
                break;
            }
            result.append(noteFromElement(note, path_, result.size()));
        }
        // What follows a fault cannot be listed, but it is part of the
        // notebook: one untitled note stands for it, so that exporting the
        // whole notebook hands the damaged file on and the importer's parser
        // reports the fault, instead of the notebook ending early as a success.
        if (broken || reader.failed()) {
            EvernoteNote rest;
            rest.notebookPath = path_;
            rest.index = result.size();
            result.append(rest);
        }
        return result;
    }

  private:
    QString path_;
};

void removeTags(xmlNodePtr note) {
    for (xmlNodePtr child = note->children; child;) {
        xmlNodePtr next = child->next;
        if (child->type == XML_ELEMENT_NODE && xmlStrEqual(child->name, BAD_CAST "tag")) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        }
        child = next;
    }
}

// Whether `indices` are all the notes of the notebook file `path` as the
// notebook lists them: exactly 0 to n-1, and no note after them can be read
// (a file that breaks off after them counts as whole).
bool isWholeNotebook(const QString& path, const QSet<qsizetype>& indices) {
    for (qsizetype index : indices)
        if (index < 0 || index >= indices.size()) return false;
    ENEXReader reader(path);
    qsizetype count = 0;
    while (reader.get() && reader.nextNote() && xmlTextReaderExpand(reader.get()))
        if (++count > indices.size()) return false;
    return true;
}

}  // namespace

EvernoteStandIn::EvernoteStandIn(ApplicationRecord record) : record_(std::move(record)) {}

void EvernoteStandIn::setNotebookFolderOverride(const QString& folder) {
    QMutexLocker lock(&overrideMutex);
    folderOverride = folder;
}

QString EvernoteStandIn::notebookFolder() const {
    {
        QMutexLocker lock(&overrideMutex);
        if (!folderOverride.isEmpty()) return folderOverride;
    }
    return record_.info.value(QStringLiteral("EvernoteNotebookFolder")).toString();
}

bool EvernoteStandIn::recordNotebookFolder(const QString& folder, Error* error) {
    const QString key = QStringLiteral("EvernoteNotebookFolder");
    const QList<ApplicationRecord> installed =
        Workspace::installedApplications(QString::fromLatin1(kBundleIdentifier));
    ApplicationRecord record;
    if (!installed.isEmpty()) {
        record = installed.first();
    } else {
        const QStringList folders = Workspace::applicationFolders();
        record.bundlePath = folders.value(0) + QStringLiteral("/Evernote.app");
        record.info.set(QStringLiteral("CFBundleIdentifier"),
                        QString::fromLatin1(kBundleIdentifier));
        record.info.set(QStringLiteral("CFBundleName"), QStringLiteral("Evernote"));
        record.info.set(QStringLiteral("CFBundleShortVersionString"),
                        QString::fromLatin1(kInstalledVersion));
    }
    record.info.set(key, QFileInfo(folder).absoluteFilePath());
    const QString contents = record.bundlePath + QStringLiteral("/Contents");
    if (!QDir().mkpath(contents)) {
        posixError(EACCES, contents).report(error);
        return false;
    }
    return PlistValue(record.info)
        .writeToFile(contents + QStringLiteral("/Info.plist"), PlistValue::Format::Xml, error);
}

QString EvernoteStandIn::version() const { return record_.version(); }

QList<std::shared_ptr<EvernoteNotebook>> EvernoteStandIn::notebooks() const {
    QList<std::shared_ptr<EvernoteNotebook>> result;
    const QDir dir(notebookFolder());
    for (const QFileInfo& file :
         dir.entryInfoList({QStringLiteral("*.enex")}, QDir::Files, QDir::Name))
        result.append(std::make_shared<StandInNotebook>(file.absoluteFilePath()));
    return result;
}

void EvernoteStandIn::activate() {
    Error error;
    if (!Workspace::markRunning(record_, &error))
        std::fprintf(stderr, "Evernote: cannot mark %s as running: %s\n",
                     qPrintable(record_.bundlePath), qPrintable(error.localizedDescription()));
}

void EvernoteStandIn::exportNotes(const QList<EvernoteNote>& notes, const QUrl& url, bool tags,
                                  quint32 format) {
    if (format == kEvernoteExportFormatENEX) {
        exportENEX(notes, url.toLocalFile(), tags);
        return;
    }
    if (format == kEvernoteExportFormatHTML) {
        if (!notes.isEmpty()) exportHTML(notes.first(), url.toLocalFile());
        return;
    }
    std::fprintf(stderr, "Evernote: unknown export format %08x\n", format);
}

void EvernoteStandIn::exportHTML(const EvernoteNote& note, const QString& folder) const {
    ENEXReader reader(note.notebookPath);
    qsizetype index = 0;
    while (reader.get() && reader.nextNote()) {
        if (index++ != note.index) continue;
        xmlNodePtr element = xmlTextReaderExpand(reader.get());
        Error error;
        if (!element)
            std::fprintf(stderr, "Evernote: cannot read the note \"%s\"\n", qPrintable(note.title));
        else if (!EvernoteHTMLNoteExport(XMLNode(element)).writeToFolder(folder, &error))
            std::fprintf(stderr, "Evernote: cannot export the note \"%s\" as HTML: %s\n",
                         qPrintable(note.title), qPrintable(error.localizedDescription()));
        return;
    }
    std::fprintf(stderr, "Evernote: the note \"%s\" is no longer there\n", qPrintable(note.title));
}

void EvernoteStandIn::exportENEX(const QList<EvernoteNote>& notes, const QString& path,
                                 bool tags) const {
    // Group the wanted notes by notebook file, keeping their positions.
    QHash<QString, QSet<qsizetype>> wanted;
    QStringList files;
    for (const EvernoteNote& note : notes) {
        if (!wanted.contains(note.notebookPath)) files << note.notebookPath;
        wanted[note.notebookPath].insert(note.index);
    }
    // A whole notebook with its tags is its file as it is, byte for byte: a
    // fault in the file then reaches the importer's parser, instead of the
    // notebook silently ending at the last note that could be read.
    if (tags && files.size() == 1 && isWholeNotebook(files.first(), wanted[files.first()])) {
        if (!QFile::copy(files.first(), path))
            std::fprintf(stderr, "Evernote: cannot write %s\n", qPrintable(path));
        return;
    }
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "Evernote: cannot write %s\n", qPrintable(path));
        return;
    }
    out.write(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE en-export SYSTEM \"http://xml.evernote.com/pub/evernote-export3.dtd\">\n");
    out.write(
        QStringLiteral("<en-export export-date=\"%1\" application=\"Evernote\" version=\"%2\">\n")
            .arg(compactTimestamp(QDateTime::currentDateTimeUtc()), version().toHtmlEscaped())
            .toUtf8());
    xmlBufferPtr buffer = xmlBufferCreate();
    for (const QString& file : files) {
        const QSet<qsizetype>& indices = wanted[file];
        ENEXReader reader(file);
        qsizetype index = 0;
        while (reader.get() && reader.nextNote()) {
            if (indices.contains(index++)) {
                xmlNodePtr note = xmlTextReaderExpand(reader.get());
                if (!note) break;
                if (!tags) removeTags(note);
                xmlBufferEmpty(buffer);
                xmlNodeDump(buffer, note->doc, note, 0, 0);
                out.write(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                          xmlBufferLength(buffer));
                out.write("\n");
            }
        }
    }
    xmlBufferFree(buffer);
    out.write("</en-export>\n");
}

std::shared_ptr<EvernoteApplication> EvernoteApplication::applicationWithBundleIdentifier(
    const QString& bundleIdentifier) {
    const QList<ApplicationRecord> apps = Workspace::installedApplications(bundleIdentifier);
    if (apps.isEmpty()) return nullptr;
    return std::make_shared<EvernoteStandIn>(apps.first());
}
