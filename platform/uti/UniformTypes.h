// The uniform type registry: type identifiers ("public.png"), their MIME types
// and file-name extensions, conformance to parent types ("public.png"
// conforms to "public.image", "public.data" and "public.item"), and the kind
// name users see ("PNG image"). The types come from one curated table
// (UniformTypeTable.cpp).
//
// An extension or MIME type that no declared type claims gets a dynamic
// identifier, "dyn.ext.<extension>" or "dyn.mime.<MIME type>", that conforms
// only to "public.data" (and so to "public.item") and keeps its tag: the
// extension of "dyn.ext.xyz" is "xyz", the MIME type of "dyn.mime.x/y" is "x/y".
//
// Identifiers, extensions and MIME types compare case-insensitively. All
// functions are thread-safe; the registry is built once, on first use.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class UniformTypes {
  public:
    // The type for a MIME type such as "image/png" or "text/html; charset=utf-8"
    // (parameters and surrounding blanks ignored); a dynamic identifier when
    // no declared type claims it; "" for an empty MIME type.
    static QString preferredIdentifierForMIMEType(const QString& mimeType);
    // The type for a file-name extension ("pdf"; a leading period is ignored);
    // a dynamic identifier when no declared type claims it; "" for "".
    static QString preferredIdentifierForExtension(const QString& extension);

    // True when `type` is `parent` or descends from it through declared
    // parents. An unknown identifier conforms only to itself.
    static bool conformsTo(const QString& type, const QString& parent);

    // The type's preferred file-name extension ("pdf"), or "" when it has none.
    static QString preferredExtension(const QString& type);
    // The type's preferred MIME type ("application/pdf"), or "" when it has none.
    static QString preferredMIMEType(const QString& type);
    // What users call such a file ("PDF document"); "" for dynamic and unknown types.
    static QString kindName(const QString& type);
    // `name` with `type`'s preferred extension appended, unless its own
    // extension (after the last ".") already stands for `type` or a type
    // conforming to it: "photo.png?size=large" gives "photo.png?size=large.png"
    // for "public.png", "photo.JPG" stays as it is for "public.jpeg". Nothing
    // of the name is removed; the result may need fitting to the file name
    // length limit. `name` unchanged when it is empty or `type` has no
    // preferred extension.
    static QString fileNameWithExtensionForType(const QString& name, const QString& type);
    // True for a type of the table (not dynamic, not unknown).
    static bool isDeclared(const QString& type);

    // The MIME type of content that came without one, named `fileName` (a
    // path's last component, possibly without extension): the table's type for
    // the name's extension, else what the system's shared MIME database makes
    // of the name and the first bytes of `data`; "application/octet-stream"
    // when neither tells.
    static QString guessedMIMEType(const QString& fileName, const QByteArray& data);
};
