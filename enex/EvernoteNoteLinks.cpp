#include "enex/EvernoteNoteLinks.h"

#include <vector>

#include "enex/EvernoteNoteLinkURL.h"
#include "platform/apps/PelmoraApplication.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "util/ConversionWarnings.h"

namespace {

using Miss = EvernoteNoteLinkIndex::Miss;

// A text cut for a log line: a hostile link text must not make a line of megabytes.
QString shortened(const QString& text) {
    constexpr qsizetype kShown = 200;
    if (text.size() <= kShown) return text;
    qsizetype cut = kShown;
    if (text[cut - 1].isHighSurrogate()) --cut;
    return text.left(cut) + u'…';
}

// A note's title as a log line shows it: an indented export puts its line
// breaks and indent in the title's text.
QString shownTitle(const QString& noteTitle) { return noteTitle.simplified(); }

struct Card {
    XMLNode element;
    QString guid;
    QString title;
};

// The rich-link card that `element` makes, when its card links to a note.
std::optional<Card> noteCardOf(const XMLNode& element) {
    const QString style = element.attribute(QStringLiteral("style"));
    if (!style.contains(QLatin1StringView("richlink"), Qt::CaseInsensitive)) return std::nullopt;
    const auto link = EvernoteNoteLinkURL::richLinkFromStyle(style);
    if (!link) return std::nullopt;
    const auto guid = EvernoteNoteLinkURL::noteGUIDFromURL(link->href);
    if (!guid) return std::nullopt;
    return Card{element, *guid, link->title};
}

}  // namespace

EvernoteNoteLinks::EvernoteNoteLinks(std::shared_ptr<EvernoteNoteLinkIndex> index)
    : index_(std::move(index)) {}

QString EvernoteNoteLinks::identifierForNote(const QString& title, const QString& fallback) {
    const auto claimed = index_->claimIdentifierForTitle(title);
    if (!claimed) return fallback;
    std::lock_guard lock(mutex_);
    claimed_.insert(*claimed);
    return *claimed;
}

QString EvernoteNoteLinks::reasonText(Miss miss) {
    switch (miss) {
        case Miss::None:
            return QString();
        case Miss::EmptyText:
            return localizedString("the link has no text to name its note by");
        case Miss::TooLong:
            return stringWithFormat(
                localizedString("the link text is longer than %ld characters, longer than any "
                                "title"),
                {static_cast<long>(EvernoteNoteLinkIndex::maximumTitleLength)});
        case Miss::NoTitle:
            return localizedString("no note of this import has that title");
        case Miss::SharedTitle:
            return localizedString("more than one note of this import has that title");
        case Miss::Conflicting:
            return localizedString("links to this note name different notes of this import");
        case Miss::Untied:
            return localizedString("nothing names the note this link leads to");
    }
    return QString();
}

void EvernoteNoteLinks::leave(const QString& noteTitle, const QString& text, const QString& url,
                              Miss miss) {
    ++left_;
    const QString reason = reasonText(miss);
    const QString title = shownTitle(noteTitle);
    ConversionWarnings::log(stringWithFormat(
        QStringLiteral("Link between notes left as it was in note \"%@\": \"%@\" (%@): %@"),
        {title, shortened(text), shortened(url), reason}));
    std::lock_guard lock(mutex_);
    if (leftLinks_.size() < maximumLeftLinksKept)
        leftLinks_.append({title, shortened(text), shortened(url), reason});
}

QList<EvernoteNoteLinks::LeftLink> EvernoteNoteLinks::leftLinks() const {
    std::lock_guard lock(mutex_);
    return leftLinks_;
}

std::optional<QUrl> EvernoteNoteLinks::resolve(const QString& guid, const QString& text,
                                               const QString& href, const QString& noteTitle) {
    EvernoteNoteLinkIndex::Target target = index_->targetForGUID(guid);
    if (target.miss == Miss::Untied) target = index_->targetForText(text);
    if (!target.found()) {
        leave(noteTitle, text, href, target.miss);
        return std::nullopt;
    }
    ++resolved_;
    {
        std::lock_guard lock(mutex_);
        ++linksToNote_[target.identifier];
    }
    return PelmoraApplication::itemLinkURL(target.identifier);
}

void EvernoteNoteLinks::noteWasNotImported(const QString& identifier) {
    std::lock_guard lock(mutex_);
    notImported_.insert(identifier);
}

void EvernoteNoteLinks::settleLinksToMissingNotes() {
    std::lock_guard lock(mutex_);
    for (auto it = linksToNote_.cbegin(); it != linksToNote_.cend(); ++it) {
        const QString& identifier = it.key();
        if (claimed_.contains(identifier) && !notImported_.contains(identifier)) continue;
        const unsigned long links = it.value();
        resolved_ -= links;
        left_ += links;
        systemLog(stringWithFormat(
            QStringLiteral("%lu links between notes lead to the note %@, which was not imported"),
            {links, identifier}));
    }
    linksToNote_.clear();
    notImported_.clear();
}

void EvernoteNoteLinks::resolveLinksInText(AttributedString& text, const QString& noteTitle) {
    // The stretches under one link first: a link's words may lie in several
    // runs (a bold word), and the text must not change during the walk.
    struct Stretch {
        TextRange range;
        QUrl url;
    };
    QList<Stretch> stretches;
    text.enumerateAttributes(
        {0, text.length()}, [&](const TextAttributes& attributes, const TextRange& range, bool&) {
            if (!attributes.link) return;
            if (!stretches.isEmpty() && stretches.last().url == *attributes.link &&
                stretches.last().range.location + stretches.last().range.length == range.location)
                stretches.last().range.length += range.length;
            else
                stretches.append({range, *attributes.link});
        });
    qsizetype noteLinks = 0;
    unsigned long beyondLimit = 0;
    for (const Stretch& stretch : stretches) {
        const QString href = stretch.url.toString();
        const auto guid = EvernoteNoteLinkURL::noteGUIDFromURL(href);
        if (!guid) continue;
        if (++noteLinks > maximumLinksPerNote) {
            ++beyondLimit;
            continue;
        }
        const QString words = text.string().mid(stretch.range.location, stretch.range.length);
        if (const auto url = resolve(*guid, words, href, noteTitle))
            text.modifyAttributes(stretch.range,
                                  [&](TextAttributes& attributes) { attributes.link = *url; });
    }
    reportBeyondLimit(noteTitle, noteLinks, beyondLimit);
}

void EvernoteNoteLinks::reportBeyondLimit(const QString& noteTitle, qsizetype noteLinks,
                                          unsigned long beyondLimit) {
    if (beyondLimit == 0) return;
    left_ += beyondLimit;
    ConversionWarnings::log(stringWithFormat(
        QStringLiteral("Note \"%@\" holds %ld links to other notes; the %lu after the first %ld "
                       "are left as they were"),
        {shownTitle(noteTitle), static_cast<long>(noteLinks), beyondLimit,
         static_cast<long>(maximumLinksPerNote)}));
}

void EvernoteNoteLinks::resolveLinksInNote(XMLNode note, const QString& noteTitle) {
    std::vector<Card> cards;  // the cards around the node, innermost last
    qsizetype noteLinks = 0;
    unsigned long beyondLimit = 0;
    XMLNode node = note.firstChild();
    while (node && node != note) {
        std::optional<Card> card;
        if (node.isElement()) {
            card = noteCardOf(node);
            if (node.name() == QLatin1StringView("a")) {
                const QString href = node.attribute(QStringLiteral("href"));
                const auto guid = EvernoteNoteLinkURL::noteGUIDFromURL(href);
                if (guid && ++noteLinks > maximumLinksPerNote) {
                    ++beyondLimit;
                } else if (guid) {
                    const bool inCard = !cards.empty() && cards.back().guid == *guid;
                    const QString text = inCard ? cards.back().title : node.textContent();
                    if (const auto url = resolve(*guid, text, href, noteTitle))
                        node.setAttribute(QStringLiteral("href"),
                                          url->toString(QUrl::FullyEncoded));
                }
            }
        }
        // On in document order; a card holds for the nodes inside it.
        if (const XMLNode child = node.firstChild()) {
            if (card) cards.push_back(*card);
            node = child;
            continue;
        }
        while (node != note && !node.nextSibling()) {
            node = node.parent();
            if (!cards.empty() && cards.back().element == node) cards.pop_back();
        }
        if (node == note) break;
        node = node.nextSibling();
    }
    reportBeyondLimit(noteTitle, noteLinks, beyondLimit);
}
