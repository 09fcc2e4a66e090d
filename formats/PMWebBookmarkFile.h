// PMWebBookmarkFile: a bookmark item of Pelmora, a named URL stored as a
// small file.
//
// Reading: the location property lists ("webloc", "ftploc", "mailloc",
// "afploc", "fileloc", "newsloc", "inetloc"), Windows shortcut files ("url",
// "[InternetShortcut]" with "URL=..."), and freedesktop Link entries
// (".desktop"), the form Linux desktops use.
// Writing: always the binary property list {"URL": absolute URL text,
// "public.url-name": the name, left out when empty}, whatever the extension;
// only that form keeps the name. So a file that holds a property list is read
// as one whatever its extension, and every file this class writes reads back
// with the same name and URL; the extension picks the reader of the other
// forms only. A file that cannot be read (missing, not a regular file,
// binary, truncated, not UTF-8, not a dictionary) gives an empty bookmark: no
// name, no URL.
//
// Validation errors: domain "PMWebBookmarkErrorDomain", code 10001. Writing
// errors: "NSCocoaErrorDomain" 262 for a URL that is not a file URL, else
// those of the property list or the file system.
//
// The pasteboard is Qt's QMimeData (the clipboard's or a drag's), with these
// MIME types:
// - "text/x-moz-url": URLs with titles, the browsers' form on Linux (lines of
//   URL, title, URL, title...; UTF-16 as browsers write it, UTF-8 accepted);
// - "application/x-pelmora-bookmark-dictionaries": a binary property list, an
//   array of {"label": name, "address": URL text};
// - "text/uri-list": URLs; "application/x-pelmora-url-name": the name of the
//   URL there, UTF-8;
// - "text/plain": text;
// - refused: mail messages ("text/x-moz-message", or a URL with the scheme
//   "message", "x-postbox-message", "imap-message", "mailbox-message" or
//   "news-message") and Pelmora item links ("application/x-pelmora-itemlink").
//
// A bookmark is copyable; a copy has the same stored name, URL and file URL,
// and no undo stack. Not thread-safe; used on one thread at a time. An
// undo stack, when set, must belong to that thread; the pasteboard and
// iconImage need the GUI thread.
#pragma once

#include <QImage>
#include <QList>
#include <QMimeData>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUndoStack>
#include <QUrl>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"

class QClipboard;

class PMWebBookmarkFile {
  public:
    static const QString errorDomain;  // "PMWebBookmarkErrorDomain"
    static constexpr long validationErrorCode = 10001;
    // The web address that stands for a missing URL on the pasteboard.
    static const QString placeholderURLString;  // "http://localhost/"

    PMWebBookmarkFile();
    PMWebBookmarkFile(const PMWebBookmarkFile& other);
    PMWebBookmarkFile& operator=(const PMWebBookmarkFile& other);
    ~PMWebBookmarkFile();

    // A new bookmark, name and URL set through the setters.
    static PMWebBookmarkFile bookmarkWithName(const QString& name, const QUrl& url);
    // The bookmark read from the local file at `fileURL` (see above); its
    // fileURL() is `fileURL`.
    static PMWebBookmarkFile bookmarkWithFileAtURL(const QUrl& fileURL);

    // The extensions read, in this order: "webloc", "ftploc", "mailloc",
    // "afploc", "fileloc", "newsloc", "inetloc", "url".
    static QStringList bookmarkFileTypes();
    // The extension for a URL by its scheme, tested case-insensitively as a
    // prefix, first match winning: "http" webloc, "ftp" ftploc, "mailto"
    // mailloc, "afp" afploc, "file" fileloc, "news" newsloc; anything else,
    // or no URL, inetloc.
    static QString fileExtensionForURL(const QUrl& url);

    // The stored name, or the URL's host when none is stored.
    QString name() const;
    // The stored name itself ("" when none).
    const QString& storedName() const { return name_; }
    // Does nothing when `name` equals the stored name; otherwise registers an
    // undo action that restores the old name and stores `name` with line
    // breaks and tabs made spaces and white space trimmed.
    void setName(const QString& name);
    const QUrl& URL() const { return url_; }
    // Does nothing when `url` equals the stored URL; otherwise registers an
    // undo action that restores the old URL and stores `url`.
    void setURL(const QUrl& url);
    // Not owned; forgotten when the stack is destroyed.
    QUndoStack* undoManager() const { return undoManager_; }
    void setUndoManager(QUndoStack* undoManager) { undoManager_ = undoManager; }
    const QUrl& fileURL() const { return fileURL_; }
    void setFileURL(const QUrl& fileURL) { fileURL_ = fileURL; }

    // The binary property list of the bookmark (see above).
    std::optional<QByteArray> fileData(Error* error = nullptr) const;
    // Writes fileData() to the local file at `fileURL`, in place (not
    // atomically). The creation date of a file that was there is put back
    // afterwards (failing to is ignored). False with the failing step's error.
    bool writeToFileAtURL(const QUrl& fileURL, Error* error = nullptr) const;
    // A file name with the extension of fileExtensionForURL, made safe as one
    // file-name component: from the stored name unless it is empty or begins
    // with "http://" (any case); else for a mailto URL the address; else the
    // last path component without extension when it has 2 characters or
    // more; else the URL without its "scheme://".
    QString suggestedFilename() const;
    // The desktop's icon for files of fileExtensionForURL(URL()), 96 by 96:
    // the icon theme's icon for the extension's MIME type, else for internet
    // shortcuts ("application-x-mswinurl", "text-html"), else the style's
    // link icon; a null image without a GUI application.
    QImage iconImage() const;
    // True when the URL's scheme is exactly "http" or "https".
    bool canPreviewBookmark() const;

    // False, with error 10001 "Bookmark name must not be empty." when an error
    // is asked for, when `value` is missing or empty.
    static bool validateName(const QString* value, Error* error = nullptr);
    // False, with error 10001 "Bookmark URL must not be empty." when an error
    // is asked for, when `value` is missing or empty. A URL whose scheme
    // begins with "http" (case-sensitive) and whose path is empty gets the
    // path "/" in *value.
    static bool validateURL(QUrl* value, Error* error = nullptr);

    // Pasteboard (see above for the MIME types).
    // The types writeBookmarkFiles declares, in order.
    static QStringList bookmarksPasteboardTypes();
    // Whether bookmarksWithPasteboard would find a bookmark: mail messages and
    // Pelmora item links are refused; titled URLs and URLs accepted; bookmark
    // dictionaries when the first has an address; text when it holds "://" or
    // "@", no space, and parses as a URL.
    static bool canInitWithPasteboard(const QMimeData* pasteboard);
    // The bookmarks of the first type present among titled URLs, URLs and
    // text. Titled URLs that parse neither as they are nor percent-encoded are
    // skipped; a URL is named by "application/x-pelmora-url-name"; text with
    // "@" and no "://" becomes a mailto URL named by the address. Empty when
    // none of the types is there or nothing parses.
    static QList<PMWebBookmarkFile> bookmarksWithPasteboard(const QMimeData* pasteboard);
    // Puts `bookmarks` on `pasteboard` in every type of
    // bookmarksPasteboardTypes: all of them as titled URLs and dictionaries,
    // the first one's URL as URL and as text. A missing URL is written as
    // placeholderURLString in the first two. False, writing nothing, when
    // there are no bookmarks.
    static bool writeBookmarkFiles(const QList<PMWebBookmarkFile>& bookmarks,
                                   QMimeData* pasteboard);
    // The same onto the clipboard, replacing its contents.
    static bool writeBookmarkFiles(const QList<PMWebBookmarkFile>& bookmarks,
                                   QClipboard* clipboard);

  private:
    friend class PMWebBookmarkUndoCommand;

    void readFromFile(const QString& path);
    // Each reads the file's `data`; `path` names the bookmark when the data does not.
    void readPropertyList(const QByteArray& data, const QString& path);
    void readShortcut(const QByteArray& data, const QString& path);
    void readDesktopEntry(const QByteArray& data, const QString& path);
    // The URL that `text` is as it stands (no repairs); empty when it is none.
    static QUrl urlWithString(const QString& text);
    // Stores without registering an undo action.
    void storeName(const QString& name);
    void storeURL(const QUrl& url);

    QString name_;
    QUrl url_;
    QUrl fileURL_;
    QPointer<QUndoStack> undoManager_;
    // Undo commands reach the bookmark through this; cleared when the
    // bookmark goes, so a command outliving it does nothing.
    std::shared_ptr<PMWebBookmarkFile*> undoTarget_;
};
