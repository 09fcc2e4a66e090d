// RTFDocumentAttributes: the document-wide settings an RTF file carries
// besides its text: page and view geometry, the background colour, the
// default tab interval and the writer's Cocoa version words. The RTF writer
// takes them, the reader fills them. Lengths are in points. A plain value.
#pragma once

#include <QColor>
#include <QMarginsF>
#include <QSizeF>

struct RTFDocumentAttributes {
    QSizeF paperSize{595, 842};         // \paperw \paperh (A4)
    QMarginsF margins{72, 72, 72, 72};  // \margl \margt \margr \margb
    QSizeF viewSize{576, 420};          // \vieww \viewh
    int viewKind = 0;                   // \viewkind: 0 normal, 1 page layout
    int viewScale = 100;                // \viewscale, percent
    QColor backgroundColor;             // invalid: none
    bool readOnly = false;              // \readonlydoc1
    double defaultTabInterval = 0;      // \deftab; 0: not written
    int cocoaVersion = 2761;            // \cocoartf
    int cocoaSubversion = 0;            // \cocoasubrtf (read only; 0 when absent)
    int cocoaTextScaling = 0;           // \cocoatextscaling
    int cocoaPlatform = 0;              // \cocoaplatform
    int codePage = 1252;                // \ansicpg (the writer always writes 1252)

    friend bool operator==(const RTFDocumentAttributes&, const RTFDocumentAttributes&) = default;
};
