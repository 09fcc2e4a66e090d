#include "import/LibraryImportDescription.h"

#include <cerrno>
#include <cstdio>

#include "enex/EvernoteXMLItem.h"

namespace {

constexpr qint64 kExporterVersion = 353;
const QString kPartialSuffix = QStringLiteral(".partial");

// libplist's XML for `value`, then the parts of it that a streamed file is
// assembled from: the prologue before the top element, and the entries of
// a dictionary without its own braces. Every value thus reads back exactly as
// a description written in one piece.
QByteArray xmlOf(const PlistValue& value) { return value.serialize(PlistValue::Format::Xml); }

QByteArray prologue() {
    const QByteArray xml = xmlOf(PlistArray());
    return xml.left(xml.indexOf("<array"));
}

QByteArray entriesOf(const PlistDictionary& dictionary) {
    if (dictionary.isEmpty()) return QByteArray();
    const QByteArray xml = xmlOf(dictionary);
    const qsizetype open = xml.indexOf("<dict>") + qsizetype(sizeof("<dict>") - 1);
    const qsizetype start = xml.indexOf('\n', open) + 1;
    return xml.mid(start, xml.lastIndexOf("</dict>") - start);
}

PlistDictionary entry(const QString& key, const PlistValue& value) {
    PlistDictionary dictionary;
    dictionary.set(key, value);
    return dictionary;
}

}  // namespace

LibraryImportDescription::LibraryImportDescription() = default;

LibraryImportDescription::~LibraryImportDescription() { discard(); }

bool LibraryImportDescription::write(const QByteArray& bytes, Error* error) {
    errno = 0;  // a failed write's own cause, never an earlier call's
    if (file_ && file_->write(bytes) == bytes.size()) return true;
    posixError(errno ? errno : EIO, file_ ? file_->fileName() : stagingPath_).report(error);
    return false;
}

bool LibraryImportDescription::begin(const QString& stagingPath, Error* error) {
    discard();
    stagingPath_ = stagingPath;
    groups_ = PlistDictionary();
    itemIds_ = PlistDictionary();
    itemCount_ = 0;
    file_ = std::make_unique<QFile>(stagingPath + u'/' + LibraryKeys::DescriptionFileName +
                                    kPartialSuffix);
    errno = 0;
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        posixError(errno ? errno : EIO, file_->fileName()).report(error);
        file_.reset();
        return false;
    }
    PlistDictionary top;
    top.set(QStringLiteral("ExporterVersion"), kExporterVersion);
    top.set(QStringLiteral("RemoveFileOnCompletion"), stagingPath);
    return write(prologue() + "<dict>\n" + entriesOf(top) + "\t<key>" +
                     LibraryKeys::Entities.toUtf8() + "</key>\n\t<dict>\n\t\t<key>" +
                     LibraryKeys::Item.toUtf8() + "</key>\n\t\t<dict>\n",
                 error);
}

void LibraryImportDescription::addGroup(const PlistDictionary& group) {
    const QString identifier = group.value(ItemKeys::Identifier).toString();
    groups_.set(identifier, group);
    itemIds_.set(identifier, PlistArray());
}

bool LibraryImportDescription::addItem(const PlistDictionary& item, const PlistDictionary& group,
                                       Error* error) {
    const QString groupIdentifier = group.value(ItemKeys::Identifier).toString();
    PlistDictionary filed = item.mutableCopy();
    filed.set(ItemKeys::Folder, groupIdentifier);
    const QString identifier = item.value(ItemKeys::Identifier).toString();
    if (!write(entriesOf(entry(identifier, filed)), error)) return false;
    itemIds_.value(groupIdentifier).toArray().append(identifier);
    ++itemCount_;
    return true;
}

std::optional<QString> LibraryImportDescription::finish(Error* error) {
    for (const auto& [identifier, group] : groups_.entries())
        group.toDictionary().set(LibraryKeys::Items, itemIds_.value(identifier).toArray());
    const QByteArray end = "\t\t</dict>\n\t\t<key>" + LibraryKeys::Folder.toUtf8() +
                           "</key>\n\t\t<dict>\n" + entriesOf(groups_) +
                           "\t\t</dict>\n\t</dict>\n</dict>\n</plist>\n";
    if (!write(end, error)) return std::nullopt;
    errno = 0;
    if (!file_->flush()) {
        posixError(errno ? errno : EIO, file_->fileName()).report(error);
        return std::nullopt;
    }
    file_->close();
    // Written: the lists of identifiers are not needed any more, and a large
    // import should not hold them while the library takes the items.
    for (const auto& [identifier, group] : groups_.entries())
        group.toDictionary().remove(LibraryKeys::Items);
    itemIds_ = PlistDictionary();
    const QString partial = file_->fileName();
    const QString path = stagingPath_ + u'/' + LibraryKeys::DescriptionFileName;
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(path).constData()) !=
        0) {
        posixError(errno, path).report(error);
        return std::nullopt;
    }
    file_.reset();
    return path;
}

void LibraryImportDescription::discard() {
    if (!file_) return;
    file_->close();
    file_->remove();
    file_.reset();
}
