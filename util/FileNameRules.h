// File-name rules: how a note title, notebook name or attachment name becomes
// one file-name component, and how a clash with an existing item in a folder
// is resolved with a numbered name. Every file, folder and package name that
// an import writes goes through these.
//
// Lengths and positions count UTF-16 code units, except the file system's
// limit of 255 bytes of UTF-8 per name, which every result also keeps. None
// of these functions keeps state or reports errors; all are safe to call from
// any thread.
#pragma once

#include <QString>
#include <QUrl>

namespace QVExtensions {

// The text made usable as one file-name component of at most 255 units:
// white space and line breaks trimmed, a leading "." turned into "-", every
// "/", ":" and "~" turned into "-", the text cut at its first line break,
// white space trimmed again, and an over-long text (256 units or more) cut to
// 254 units, keeping its extension ("." + extension, 255 units in all) when it
// has one; a cut that would split a surrogate pair takes one unit fewer.
// Nothing else is replaced: control characters stay. "" gives "".
QString stringSanitizedForFileName(const QString& text);

// stringSanitizedForFileName, then made safe to hand to the file system as one
// component: U+0000 and unpaired surrogates become "-", "." and ".." never
// come out, and a name longer than 255 bytes in UTF-8 (the Linux limit) is
// shortened before its extension, on whole characters
// (FileNameLength::fittedName). An empty result stays empty; callers decide
// what an unnamed item is called.
QString safeFileName(const QString& name);

// The name an attachment's file gets inside a note package, made from the
// attachment's own name. Unlike a title, an attachment name keeps everything
// a file name can hold: runs of spaces, leading and trailing white space,
// ":", "~", a leading ".", line and paragraph separators (U+2028, U+2029).
// Only what one component must not or cannot hold is changed:
// - tab, LF, VT, FF, CR and NEL each become one space; every other control
//   character (C0, DEL, C1) becomes "-";
// - "/" and unpaired surrogates become "-";
// - "." becomes "-" and ".." "-." (they name folders, not files);
// - a name longer than 255 bytes of UTF-8 is shortened before its extension,
//   on whole characters, keeping the "." and the extension whole
//   (FileNameLength::fittedName).
// "" gives ""; callers decide what an unnamed attachment is called. Applying
// it to its own result changes nothing.
QString attachmentFileName(const QString& name);

// A name for a new item in `directory` that nothing there holds yet. The name
// is first made safe (safeFileName), so the result is always exactly one
// component inside the folder. If no item (of any kind, a dangling symbolic
// link included) has that name, it is returned; otherwise the first free
// "Base N.ext" (or "Base N" without an extension) for N = 1, 2, 3, ... is,
// with the base shortened when the number would not fit within the length
// limits. An empty name is never free. A failing existence test counts as
// absence. Reserves and creates nothing: create each file before asking for
// the next name in the same folder.
QString makeFilenameUniqueInDirectoryAtURL(const QString& name, const QUrl& directory);
// The same for a folder given by its local path.
QString makeFilenameUniqueInDirectoryAtURL(const QString& name, const QString& directoryPath);

}  // namespace QVExtensions
