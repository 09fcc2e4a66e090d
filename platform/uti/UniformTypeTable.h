// The curated table of uniform types that the registry (UniformTypes) is built
// from: one declaration per type, with its parents, file-name extensions and
// MIME types. It covers the types that notes carry and the packages that count
// as files; to support a new type, add one line to UniformTypeTable.cpp.
#pragma once

#include <span>

// One declared type. Lists are separated by single spaces; the first
// extension and the first MIME type are the preferred ones. When several
// types list the same extension or MIME type, the earlier declaration wins.
struct UniformTypeDeclaration {
    const char* identifier;  // "public.png"
    const char* conformsTo;  // direct parents: "public.image"
    const char* extensions;  // lower case, without the period: "png"
    const char* mimeTypes;   // lower case: "image/png"
    const char* kindName;    // what users see: "PNG image"
};

// Every declaration, parents before their children.
std::span<const UniformTypeDeclaration> uniformTypeDeclarations();
