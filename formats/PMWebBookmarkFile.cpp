#include "formats/PMWebBookmarkFile.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QStringDecoder>
#include <QStyle>
#include <QUndoCommand>
#include <functional>

#include "platform/foundation/DesktopEntry.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/Localization.h"
#include "platform/plist/PlistValue.h"
#include "util/FileNameRules.h"
#include "util/TextExtensions.h"

// The undo action of a name or URL change: undo puts the old value back,
// redo the new one. The first redo, which QUndoStack::push runs at once,
// does nothing: the change has been made already.
class PMWebBookmarkUndoCommand : public QUndoCommand {
  public:
    using Apply = std::function<void(PMWebBookmarkFile&)>;
    PMWebBookmarkUndoCommand(std::shared_ptr<PMWebBookmarkFile*> target, Apply undo, Apply redo)
        : target_(std::move(target)), undo_(std::move(undo)), redo_(std::move(redo)) {}

    void undo() override {
        if (*target_) undo_(**target_);
    }
    void redo() override {
        if (!pushed_) {
            pushed_ = true;
            return;
        }
        if (*target_) redo_(**target_);
    }

  private:
    std::shared_ptr<PMWebBookmarkFile*> target_;
    Apply undo_;
    Apply redo_;
    bool pushed_ = false;
};

namespace {

const QString kURLKey = QStringLiteral("URL");
const QString kNameKey = QStringLiteral("public.url-name");
const QString kShortcutURLMarker = QStringLiteral("URL=");
// Bookmark files are a few hundred bytes; a larger one is not read.
constexpr qint64 kMaximumFileSize = 1 << 20;
constexpr int kIconSize = 96;
constexpr long kFileReadUnsupportedSchemeError = 262;

// The scheme prefixes of fileExtensionForURL, first match winning.
const std::pair<const char*, const char*> kExtensionsByScheme[] = {
    {"http", "webloc"}, {"ftp", "ftploc"},   {"mailto", "mailloc"},
    {"afp", "afploc"},  {"file", "fileloc"}, {"news", "newsloc"}};

std::optional<QByteArray> contentsOfSmallFile(const QString& path) {
    // A regular file only: opening a named pipe would wait for a writer.
    if (!QFileInfo(path).isFile()) return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaximumFileSize) return std::nullopt;
    return file.read(kMaximumFileSize);
}

// A binary property list, or XML that begins as one does. Internet shortcuts
// and desktop entries begin with a "[group]" line, so neither is mistaken.
bool looksLikePropertyList(const QByteArray& data) {
    if (data.startsWith("bplist")) return true;
    QByteArray head = data.left(256);
    if (head.startsWith("\xef\xbb\xbf")) head.remove(0, 3);  // a UTF-8 byte order mark
    head = head.trimmed();
    return head.startsWith("<?xml") || head.startsWith("<!DOCTYPE plist") ||
           head.startsWith("<plist");
}

QString nameWithoutExtension(const QString& path) { return QFileInfo(path).completeBaseName(); }

// The last path component without its extension: trailing
// slashes do not count, "/" stays "/", and a leading "." is no extension.
QString lastComponentWithoutExtension(const QString& path) {
    QString trimmedPath = path;
    while (trimmedPath.size() > 1 && trimmedPath.endsWith(u'/')) trimmedPath.chop(1);
    QString component = trimmedPath == QStringLiteral("/")
                            ? trimmedPath
                            : trimmedPath.mid(trimmedPath.lastIndexOf(u'/') + 1);
    const qsizetype dot = component.lastIndexOf(u'.');
    if (dot > 0) component.truncate(dot);
    return component;
}

Error validationError(const char* message) {
    return Error(PMWebBookmarkFile::errorDomain, PMWebBookmarkFile::validationErrorCode,
                 localizedString(message));
}

}  // namespace

const QString PMWebBookmarkFile::errorDomain = QStringLiteral("PMWebBookmarkErrorDomain");
const QString PMWebBookmarkFile::placeholderURLString = QStringLiteral("http://localhost/");

PMWebBookmarkFile::PMWebBookmarkFile() : undoTarget_(std::make_shared<PMWebBookmarkFile*>(this)) {}

PMWebBookmarkFile::PMWebBookmarkFile(const PMWebBookmarkFile& other)
    : name_(other.name_),
      url_(other.url_),
      fileURL_(other.fileURL_),
      undoTarget_(std::make_shared<PMWebBookmarkFile*>(this)) {}

PMWebBookmarkFile& PMWebBookmarkFile::operator=(const PMWebBookmarkFile& other) {
    name_ = other.name_;
    url_ = other.url_;
    fileURL_ = other.fileURL_;
    return *this;
}

PMWebBookmarkFile::~PMWebBookmarkFile() { *undoTarget_ = nullptr; }

PMWebBookmarkFile PMWebBookmarkFile::bookmarkWithName(const QString& name, const QUrl& url) {
    PMWebBookmarkFile bookmark;
    bookmark.setName(name);
    bookmark.setURL(url);
    return bookmark;
}

PMWebBookmarkFile PMWebBookmarkFile::bookmarkWithFileAtURL(const QUrl& fileURL) {
    PMWebBookmarkFile bookmark;
    bookmark.fileURL_ = fileURL;
    if (fileURL.isLocalFile()) bookmark.readFromFile(fileURL.toLocalFile());
    return bookmark;
}

QStringList PMWebBookmarkFile::bookmarkFileTypes() {
    return {QStringLiteral("webloc"),  QStringLiteral("ftploc"),  QStringLiteral("mailloc"),
            QStringLiteral("afploc"),  QStringLiteral("fileloc"), QStringLiteral("newsloc"),
            QStringLiteral("inetloc"), QStringLiteral("url")};
}

QString PMWebBookmarkFile::fileExtensionForURL(const QUrl& url) {
    const QString scheme = url.scheme();
    for (const auto& [prefix, extension] : kExtensionsByScheme)
        if (!scheme.isEmpty() && QVExtensions::startsWith(scheme, QLatin1String(prefix)))
            return QLatin1String(extension);
    return QStringLiteral("inetloc");
}

// --- Reading ---

void PMWebBookmarkFile::readFromFile(const QString& path) {
    const auto data = contentsOfSmallFile(path);
    if (!data) return;
    // What this class writes is a property list whatever the extension, so a
    // property list is read as one in any file; the extension decides only
    // for the other forms.
    if (looksLikePropertyList(*data))
        readPropertyList(*data, path);
    else if (QFileInfo(path).suffix() == QStringLiteral("url"))
        readShortcut(*data, path);
    else if (DesktopEntry::hasDesktopEntryName(path))
        readDesktopEntry(*data, path);
}

void PMWebBookmarkFile::readPropertyList(const QByteArray& data, const QString& path) {
    const auto plist = PlistValue::fromData(data);
    if (!plist || plist->type() != PlistValue::Type::Dictionary) return;
    const PlistDictionary dictionary = plist->toDictionary();
    const PlistValue urlText = dictionary.value(kURLKey);
    if (urlText.type() == PlistValue::Type::String && !urlText.toString().isEmpty())
        setURL(urlWithString(urlText.toString()));
    const PlistValue name = dictionary.value(kNameKey);
    if (name.type() == PlistValue::Type::String && !name.toString().isEmpty())
        setName(name.toString());
    if (name_.isEmpty()) setName(nameWithoutExtension(path));
}

void PMWebBookmarkFile::readShortcut(const QByteArray& data, const QString& path) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(data);
    if (decoder.hasError()) return;
    const qsizetype marker = text.indexOf(kShortcutURLMarker);
    if (marker < 0) return;
    const qsizetype start = marker + kShortcutURLMarker.size();
    qsizetype end = start;
    while (end < text.size() &&
           !CharacterClasses::isWhiteSpaceOrLineBreak(text.at(end).unicode()) &&
           !CharacterClasses::isWhiteSpace(text.at(end).unicode()))
        ++end;
    setName(nameWithoutExtension(path));
    const QString urlText = text.mid(start, end - start);
    if (!urlText.isEmpty()) setURL(urlWithString(urlText));
}

void PMWebBookmarkFile::readDesktopEntry(const QByteArray& data, const QString& path) {
    const auto entry = DesktopEntry::fromData(data);
    if (!entry || !entry->isLink()) return;
    const QString name = entry->localizedValue(QStringLiteral("Name"));
    setName(name.isEmpty() ? nameWithoutExtension(path) : name);
    setURL(entry->url());
}

// --- Properties ---

QString PMWebBookmarkFile::name() const { return name_.isEmpty() ? url_.host() : name_; }

void PMWebBookmarkFile::setName(const QString& name) {
    if (name == name_) return;
    const QString previous = name_;
    storeName(name);
    const QString current = name_;
    if (undoManager_)
        undoManager_->push(new PMWebBookmarkUndoCommand(
            undoTarget_, [previous](PMWebBookmarkFile& b) { b.storeName(previous); },
            [current](PMWebBookmarkFile& b) { b.storeName(current); }));
}

void PMWebBookmarkFile::setURL(const QUrl& url) {
    if (url == url_) return;
    const QUrl previous = url_;
    storeURL(url);
    if (undoManager_)
        undoManager_->push(new PMWebBookmarkUndoCommand(
            undoTarget_, [previous](PMWebBookmarkFile& b) { b.storeURL(previous); },
            [url](PMWebBookmarkFile& b) { b.storeURL(url); }));
}

void PMWebBookmarkFile::storeName(const QString& name) {
    name_ = QVExtensions::stringByRemovingNewlinesAndTabs(name);
}

void PMWebBookmarkFile::storeURL(const QUrl& url) { url_ = url; }

// --- Writing and naming ---

std::optional<QByteArray> PMWebBookmarkFile::fileData(Error* error) const {
    PlistDictionary dictionary;
    dictionary.set(kURLKey, url_.isEmpty() ? QString() : url_.toString(QUrl::FullyEncoded));
    if (!name_.isEmpty()) dictionary.set(kNameKey, name_);
    QByteArray data = PlistValue(dictionary).serialize(PlistValue::Format::Binary);
    if (data.isEmpty()) {
        Error(QStringLiteral("PlistErrorDomain"), 3851,
              localizedString("The bookmark could not be encoded."))
            .report(error);
        return std::nullopt;
    }
    return data;
}

bool PMWebBookmarkFile::writeToFileAtURL(const QUrl& fileURL, Error* error) const {
    if (!fileURL.isLocalFile()) {
        Error(QStringLiteral("NSCocoaErrorDomain"), kFileReadUnsupportedSchemeError,
              localizedString(
                  "The file couldn’t be saved because the specified URL type isn’t supported."))
            .report(error);
        return false;
    }
    const QString path = fileURL.toLocalFile();
    // The file is rewritten in place, so the file system keeps its birth time;
    // the creation date kept in its attributes is put back explicitly.
    const QDateTime creationDate = resourceValues(path).creationDate;
    const auto data = fileData(error);
    if (!data ||
        !FileOperations::writeFile(path, *data, FileOperations::WriteMode::Truncate, error))
        return false;
    if (creationDate.isValid()) {
        FileResourceValues values;
        values.creationDate = creationDate;
        setResourceValues(path, values);
    }
    return true;
}

QString PMWebBookmarkFile::suggestedFilename() const {
    QString base;
    if (!name_.isEmpty() && !QVExtensions::startsWith(name_, QStringLiteral("http://"))) {
        base = name_;
    } else if (url_.scheme() == QStringLiteral("mailto")) {
        base = url_.toString().mid(int(sizeof "mailto:") - 1);
    } else {
        base = lastComponentWithoutExtension(url_.path(QUrl::FullyDecoded));
        if (base.size() < 2) base = url_.toString().mid(url_.scheme().size() + 3);  // "%@://"
    }
    return QVExtensions::fileSystemRepresentationString(
        QVExtensions::safeFileName(base + u'.' + fileExtensionForURL(url_)));
}

QImage PMWebBookmarkFile::iconImage() const {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return QImage();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(
        QStringLiteral("bookmark.") + fileExtensionForURL(url_), QMimeDatabase::MatchExtension);
    // Most MIME databases know no location extension but "url"; then the
    // internet shortcut's icon stands for all of them.
    QStringList names;
    if (!type.isDefault()) names << type.iconName() << type.genericIconName();
    names << QStringLiteral("application-x-mswinurl") << QStringLiteral("text-html");
    QIcon icon;
    for (const QString& name : names) {
        icon = QIcon::fromTheme(name);
        if (!icon.isNull()) break;
    }
    if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_FileLinkIcon);
    return icon.pixmap(kIconSize, kIconSize)
        .toImage()
        .scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

bool PMWebBookmarkFile::canPreviewBookmark() const {
    return url_.scheme() == QStringLiteral("http") || url_.scheme() == QStringLiteral("https");
}

// --- Validation ---

bool PMWebBookmarkFile::validateName(const QString* value, Error* error) {
    if (value && !value->isEmpty()) return true;
    validationError("Bookmark name must not be empty.").report(error);
    return false;
}

bool PMWebBookmarkFile::validateURL(QUrl* value, Error* error) {
    if (!value || value->isEmpty()) {
        validationError("Bookmark URL must not be empty.").report(error);
        return false;
    }
    // The "/" goes where the path is, before any query or fragment.
    if (value->scheme().startsWith(QStringLiteral("http")) && value->path().isEmpty())
        value->setPath(QStringLiteral("/"));
    return true;
}

QUrl PMWebBookmarkFile::urlWithString(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() ? url : QUrl();
}
