// The note service's links between notes, as they stand in a note's ENML:
// which URLs name a note, and the note's GUID they carry; and the rich-link
// cards of newer clients, whose inline style names the linked URL and the
// linked note's title.
//
// The link forms read:
//   evernote:///view/<user>/<shard>/<note guid>/<guid>/…
//   https://<host>/shard/<shard>/nl/<user>/<note guid>/
//   https://<host>/shard/<shard>/sh/<note guid>/<key>
//   https://share.<host>/note/<note guid>
// where <host> is the service's own (evernote.com or yinxiang.com, with any
// subdomain, such as www. or app.), http or https. A GUID is five groups of
// hexadecimal digits (8-4-4-4-12); anything else is not a note link.
//
// Stateless, any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

namespace EvernoteNoteLinkURL {

// The GUID of the note that `url` links to, in lower case, or nullopt when
// `url` is not one of the note link forms above (a web page, a "javascript:"
// address, a malformed URL).
std::optional<QString> noteGUIDFromURL(QStringView url);

// A rich-link card's style: "--en-richlink:true; --en-href:URL; --en-title:T".
struct RichLink {
    QString href;
    QString title;
};
// The card that the inline style `style` makes, or nullopt when it is not one
// (no "--en-richlink:true"). Property names and the "true" are read without
// regard to case or blanks; a value may be quoted. A ";" inside a value that
// is not followed by another property stays part of the value, since titles
// may hold one.
std::optional<RichLink> richLinkFromStyle(QStringView style);

// Whether the ENML bytes `enml` may hold a note link or a rich-link card at
// all: a cheap test that lets a note without any skip the search through its
// tree. False only when it certainly holds none.
bool mayHoldNoteLinks(const QByteArray& enml);

}  // namespace EvernoteNoteLinkURL
