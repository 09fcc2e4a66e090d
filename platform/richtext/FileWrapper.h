// FileWrapper: a file or a folder held in memory, the unit that text
// attachments and RTFD packages are made of. A regular file wrapper holds its
// contents (a QByteArray, implicitly shared, so copies are cheap even for
// large files); a directory wrapper holds child wrappers by name. Every
// wrapper has a preferred file name; a child's key in its directory is the
// name it is written under. FileWrapper is a value type with copy-on-write
// sharing; a default-constructed wrapper is null. Not thread-safe for
// concurrent mutation of one object; copies may be used on other threads.
//
// Errors are in the domain "NSCocoaErrorDomain": 260 (no such file), 257 (no
// permission to read), 256 (other read failure), 512 (write failure), 513 (no
// permission to write), 516 (file exists).
#pragma once

#include <QByteArray>
#include <QMap>
#include <QSharedDataPointer>
#include <QString>
#include <optional>

#include "platform/foundation/Error.h"

class FileWrapperData;

class FileWrapper {
  public:
    enum class Kind { Null, RegularFile, Directory };

    FileWrapper();
    FileWrapper(const FileWrapper&);
    FileWrapper& operator=(const FileWrapper&);
    FileWrapper(FileWrapper&&) noexcept;
    FileWrapper& operator=(FileWrapper&&) noexcept;
    ~FileWrapper();

    // A regular file wrapper with `contents` and a preferred file name.
    static FileWrapper regularFile(const QByteArray& contents,
                                   const QString& preferredFilename = QString());
    // A regular file wrapper whose contents are the file at `contentsPath`,
    // left where it is and read only when asked (regularFileContents()), so a
    // large attachment is never held in memory. Writing the wrapper makes a
    // hard link to the file (no byte copied) when both are on one file
    // system, else copies it in pieces. REQUIRES: the file stays unchanged
    // until the wrapper is written.
    static FileWrapper regularFileWithContentsOfPath(const QString& contentsPath,
                                                     const QString& preferredFilename = QString());
    // A directory wrapper holding `children` under their keys (keys are used as
    // given after making them safe single names, see addFileWrapper).
    static FileWrapper directory(const QMap<QString, FileWrapper>& children = {});

    // Reads the file or folder at `path` (a folder recursively). Symbolic links
    // inside a folder are skipped, never followed. None with the error on failure.
    static std::optional<FileWrapper> readFromPath(const QString& path, Error* error = nullptr);

    // Writes this wrapper to `path`. With `atomically`, the item is written
    // beside `path` under a hidden name of at most 255 bytes, then appears in
    // one rename and replaces whatever was at `path`; without it, an existing
    // item at `path` is an error (516). False with the error on failure; a
    // failed write leaves no partial item at `path`.
    bool writeToPath(const QString& path, bool atomically, Error* error = nullptr) const;

    Kind kind() const;
    bool isNull() const { return kind() == Kind::Null; }
    bool isRegularFile() const { return kind() == Kind::RegularFile; }
    bool isDirectory() const { return kind() == Kind::Directory; }

    // The name the wrapper would like to be written under.
    QString preferredFilename() const;
    void setPreferredFilename(const QString& name);
    // The name it was read from or last added under; empty for a new wrapper.
    QString filename() const;
    void setFilename(const QString& name);

    // A regular file's contents (empty for other kinds; for a file-backed
    // wrapper, the file read now, empty when it cannot be read).
    QByteArray regularFileContents() const;
    // The file that holds a file-backed wrapper's contents; empty otherwise.
    QString contentsPath() const;

    // A directory's children by key (empty for other kinds).
    QMap<QString, FileWrapper> fileWrappers() const;
    // Adds `child` to a directory under its preferred name (or its file name),
    // made a safe single path component (safeChildName) and unique among the
    // keys ("1__name", "2__name", ..., the name shortened before its extension
    // so that the key stays within 255 bytes). Returns the key; empty when
    // this is not a directory.
    QString addFileWrapper(const FileWrapper& child);
    // Adds a regular file; same naming as addFileWrapper.
    QString addRegularFile(const QByteArray& contents, const QString& preferredFilename);
    // Removes the child under `key`; false when there is none.
    bool removeFileWrapper(const QString& key);

    // The safe single path component made from a proposed child name: "/" and
    // NUL become "_"; empty, "." and ".." become "Attachment"; a name longer
    // than 255 bytes of UTF-8 is shortened before its extension, on whole
    // characters. Everything else (spaces, tabs, any other character) is kept.
    static QString safeChildName(const QString& name);

    // Equal for copies of one wrapper while none of them is changed (a change
    // detaches the changed copy); lets a writer store a wrapper that is
    // referenced many times once.
    const void* identity() const { return d_.constData(); }

    friend bool operator==(const FileWrapper& a, const FileWrapper& b);

  private:
    explicit FileWrapper(FileWrapperData* data);
    bool writeItem(const QString& path, Error* error) const;
    bool writeContentsOfPath(const QString& path, Error* error) const;

    QSharedDataPointer<FileWrapperData> d_;
};
