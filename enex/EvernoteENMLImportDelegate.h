// The note service's own elements as the HTML importer reads a note's ENML
// tree: every "en-media" becomes the attachment it names, by identity (the
// resource's bytes, or the file a large one was decoded into, go straight into
// the attachment, never through a file name in text), an "en-media" that
// names no resource becomes "[Missing
// Attachment]", and an "en-crypt" passage becomes "********". Check boxes
// ("en-todo") and style properties are EvernoteHTMLImportHook's.
//
// Media elements name resources by the MD5 digest of their bytes. Two
// resources with the same bytes are taken in order: the n-th element naming a
// digest gets the n-th resource with it (the last one when there are more
// elements than resources). Every element naming one resource under one file
// name shares one file wrapper, decoded once, so that a note repeating an
// attachment's tag stores its bytes once, however many times it shows them.
//
// Threading: used on the converting thread only, for one note at a time.
#pragma once

#include <QHash>
#include <QList>
#include <memory>
#include <vector>

#include "enex/EvernoteXMLResource.h"
#include "platform/richtext/HTMLImportDelegate.h"
#include "platform/xml/XMLDocument.h"

class EvernoteENMLImportDelegate : public HTMLImportDelegate {
  public:
    // Reads `resources` (not owned; must outlive the delegate). `noteTitle`
    // names the note in log lines.
    EvernoteENMLImportDelegate(const std::vector<std::unique_ptr<EvernoteXMLResource>>& resources,
                               const QString& noteTitle);

    // Appends at the end of `note`, in the file's order, one media element
    // for each resource that no media element of `note` names (the tag was
    // removed, or its digest is stale), so that no attachment is left behind;
    // each gets a line in the system log. A resource whose bytes cannot be
    // decoded cannot be attached: it is logged as left out.
    void appendUnreferencedResources(XMLDocument& document, XMLNode note);

    std::optional<HTMLReplacement> replacementForElement(const XMLNode& element) override;

    // The resource a media element names, by the rule above, or nullptr.
    EvernoteXMLResource* resourceForMedia(const XMLNode& media);
    // Starts taking resources from the first again, for another reading of the note.
    void startOver();
    // The file name an attachment is saved under: its own name (control
    // characters replaced; an image's with `type`'s preferred extension
    // appended when it does not end in one of the type's), or its identifier
    // with `type`'s preferred extension.
    static QString fileNameForResource(const EvernoteXMLResource& resource, const QString& type);

  private:
    struct Candidates {
        QList<EvernoteXMLResource*> resources;  // with this digest, in file order
        qsizetype used = 0;                     // how many media elements took one
    };
    void indexResources();
    HTMLReplacement attachmentForMedia(const XMLNode& media, EvernoteXMLResource& resource);
    // The file wrapper of `resource` under `name`, made on first use.
    FileWrapper fileWrapperForResource(EvernoteXMLResource& resource, const QString& name);

    const std::vector<std::unique_ptr<EvernoteXMLResource>>& resources_;
    QString noteTitle_;
    bool indexed_ = false;
    QHash<QString, Candidates> byDigest_;
    QHash<QPair<const EvernoteXMLResource*, QString>, FileWrapper> wrappers_;
};
