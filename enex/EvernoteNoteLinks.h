// The links between the notes of one import run, led to the imported notes.
// One object serves the whole run: the import operation makes it once the
// run's titles are indexed (EvernoteNoteLinkIndex), the parser gives each
// note its identifier from it, every converter resolves its note's links with
// it, and it counts what became of them for the summary.
//
// A note link (EvernoteNoteLinkURL) leads to the note its GUID is tied to,
// else to the note its text names (a rich-link card's --en-title standing for
// the text of the links inside the card); its address becomes the library's
// item link (PelmoraApplication::itemLinkURL) to that note. A link that leads
// to no note is left exactly as it was and gets a line in the system log
// naming the note, the link's text, its URL and the reason. Other links (web
// pages, mail, "javascript:") are not touched and not counted.
//
// A note with more than maximumLinksPerNote note links has the first ones
// resolved; the rest are left as they were, counted, and named in one log
// line, so that a hostile note cannot flood the log or the run.
//
// Threading: resolveLinksInNote and identifierForNote may run on many threads
// at once; the counts are atomic.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "enex/EvernoteNoteLinkIndex.h"
#include "platform/richtext/AttributedString.h"
#include "platform/xml/XMLNode.h"

class EvernoteNoteLinks {
  public:
    static constexpr qsizetype maximumLinksPerNote = 10000;
    // Left links kept for leftLinks(); the log names every one.
    static constexpr qsizetype maximumLeftLinksKept = 1000;

    // Resolves with `index` (shared; REQUIRES: not null, sealed).
    explicit EvernoteNoteLinks(std::shared_ptr<EvernoteNoteLinkIndex> index);

    // Whether a note of the run may hold a link to another
    // (EvernoteNoteLinkIndex::mayMeetNoteLinks): when not, no note's tree
    // needs the search.
    bool mayMeetNoteLinks() const { return index_->mayMeetNoteLinks(); }
    // The identifier the note titled `title` takes so that links can lead to
    // it, or `fallback` when its title names no single note (or was taken).
    QString identifierForNote(const QString& title, const QString& fallback);
    // Leads every note link below `note` to its note, as above; `noteTitle`
    // names the note in log lines. Runs on the converting thread.
    void resolveLinksInNote(XMLNode note, const QString& noteTitle);

    // The same for the links of rich text read from a page of the note
    // service's HTML export: each stretch of text under one note link is
    // that link's text. Runs on the converting thread.
    void resolveLinksInText(AttributedString& text, const QString& noteTitle);

    struct LeftLink {
        QString noteTitle;
        QString text;
        QString url;
        QString reason;
    };
    unsigned long resolvedCount() const { return resolved_.load(); }
    unsigned long leftCount() const { return left_.load(); }
    // The first maximumLeftLinksKept links left as they were, in the order met.
    QList<LeftLink> leftLinks() const;
    // The note that was to have `identifier` gave no item (its conversion
    // failed, or the library refused it). Any thread.
    void noteWasNotImported(const QString& identifier);
    // Once the run's items are settled: the links that were led to a note
    // that gave no item (or never came: lost to damage, missing from the
    // export) lead nowhere; they are counted as left, and the log names the
    // note's identifier and how many links lead to it.
    void settleLinksToMissingNotes();

    // Why a link was left, as users read it.
    static QString reasonText(EvernoteNoteLinkIndex::Miss miss);

  private:
    // The item link that the note link `href` to `guid`, reading `text`,
    // leads to; nullopt after leaving it (counted and logged).
    std::optional<QUrl> resolve(const QString& guid, const QString& text, const QString& href,
                                const QString& noteTitle);
    void reportBeyondLimit(const QString& noteTitle, qsizetype noteLinks,
                           unsigned long beyondLimit);
    void leave(const QString& noteTitle, const QString& text, const QString& url,
               EvernoteNoteLinkIndex::Miss miss);

    std::shared_ptr<EvernoteNoteLinkIndex> index_;
    std::atomic<unsigned long> resolved_{0};
    std::atomic<unsigned long> left_{0};
    mutable std::mutex mutex_;  // guards the four below
    QList<LeftLink> leftLinks_;
    QHash<QString, unsigned long> linksToNote_;  // resolved links by their note's identifier
    QSet<QString> claimed_;                      // identifiers given to notes that came
    QSet<QString> notImported_;
};
