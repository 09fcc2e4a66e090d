// The update panel's view of the release notes: a QTextBrowser that loads
// nothing a page refers to. QTextBrowser on its own reads any local file a
// page names as an image or style sheet (<img src="file:///dev/zero"> reads
// without end), so a hostile page could make the panel read the user's files
// or exhaust memory; the notes are text and links, and lose nothing.
//
// Main thread only; owned by its parent widget.
#pragma once

#include <QTextBrowser>

class ReleaseNotesView : public QTextBrowser {
  public:
    using QTextBrowser::QTextBrowser;

    // Always nothing: no resource of any kind or address is loaded.
    QVariant loadResource(int type, const QUrl& name) override;
};
