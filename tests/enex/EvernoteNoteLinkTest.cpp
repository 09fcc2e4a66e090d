// The links between notes: which URLs name a note, how a text names one of
// the run's notes (never by a guess), and how a note's tree is rewritten.
#include <gtest/gtest.h>

#include "enex/EvernoteNoteLinkIndex.h"
#include "enex/EvernoteNoteLinkURL.h"
#include "enex/EvernoteNoteLinks.h"
#include "platform/apps/PelmoraApplication.h"
#include "platform/xml/XMLDocument.h"

namespace {

using Miss = EvernoteNoteLinkIndex::Miss;
const QString kGUID = QStringLiteral("914ba57d-d5e6-4ef5-ba5b-b9134529c188");

std::shared_ptr<EvernoteNoteLinkIndex> sealedIndex(const QStringList& titles) {
    auto index = std::make_shared<EvernoteNoteLinkIndex>();
    for (const QString& title : titles) index->addTitle(title);
    index->seal();
    return index;
}

// The hrefs of the note's links, in order, after `links` resolved them.
QStringList resolvedHrefs(EvernoteNoteLinks& links, const QString& enml,
                          const QString& title = QStringLiteral("Source")) {
    auto document = XMLDocument::parse(("<en-note>" + enml + "</en-note>").toUtf8());
    EXPECT_TRUE(document);
    if (!document) return {};
    const XMLNode note = document->rootElement();
    links.resolveLinksInNote(note, title);
    QStringList hrefs;
    for (const XMLNode& a : document->nodesForXPath(QStringLiteral(".//a"), note))
        hrefs << a.attribute(QStringLiteral("href"));
    return hrefs;
}

QString viewLink(const QString& guid) {
    return QStringLiteral("evernote:///view/16093948/s150/%1/%1/").arg(guid);
}

}  // namespace

TEST(EvernoteNoteLinkURL, ReadsTheGUIDOfEveryNoteLinkForm) {
    const QString upper = kGUID.toUpper();
    for (const QString& url : {
             viewLink(upper),
             QStringLiteral("evernote:///view/1/s1/%1/d8ce9322-b866-453a-90b3-81923b70c474")
                 .arg(kGUID),
             QStringLiteral("https://www.evernote.com/shard/s150/nl/16093948/%1/").arg(kGUID),
             QStringLiteral("https://app.yinxiang.com/shard/s1/nl/2/%1").arg(kGUID),
             QStringLiteral("https://www.evernote.com/shard/s150/sh/%1/0a1b2c3d").arg(kGUID),
             QStringLiteral("http://EVERNOTE.com/shard/s150/sh/%1/key").arg(kGUID),
             QStringLiteral("https://share.evernote.com/note/%1").arg(kGUID),
         }) {
        EXPECT_EQ(EvernoteNoteLinkURL::noteGUIDFromURL(url), kGUID) << url.toStdString();
        // The quick test that lets a note skip the search never misses one.
        EXPECT_TRUE(EvernoteNoteLinkURL::mayHoldNoteLinks(url.toUtf8())) << url.toStdString();
    }
    EXPECT_FALSE(EvernoteNoteLinkURL::mayHoldNoteLinks(
        "<!DOCTYPE en-note SYSTEM \"http://xml.evernote.com/pub/enml2.dtd\"><en-note/>"));
}

TEST(EvernoteNoteLinkURL, LeavesEveryOtherAddressAlone) {
    for (const QString& url : {
             QStringLiteral("javascript:alert('%1')").arg(kGUID),
             QStringLiteral("https://example.org/shard/s1/nl/2/%1/").arg(kGUID),
             QStringLiteral("https://evernote.com.example.org/shard/s1/nl/2/%1/").arg(kGUID),
             QStringLiteral("https://myevernote.com/shard/s1/nl/2/%1/").arg(kGUID),
             QStringLiteral("https://www.evernote.com/note/%1").arg(kGUID),  // not the share host
             QStringLiteral("https://www.evernote.com/shard/s1/xx/2/%1/").arg(kGUID),
             QStringLiteral("evernote:///view/1/s1/not-a-guid/"),
             QStringLiteral("evernote:///view/1/s1/%1x/").arg(kGUID),
             QStringLiteral("file:///view/1/s1/%1/").arg(kGUID),
             QString(),
         })
        EXPECT_EQ(EvernoteNoteLinkURL::noteGUIDFromURL(url), std::nullopt) << url.toStdString();
}

TEST(EvernoteNoteLinkURL, ReadsRichLinkCardsWithSemicolonsInTheirTitles) {
    const auto card = EvernoteNoteLinkURL::richLinkFromStyle(
        QStringLiteral(" --EN-richlink : TRUE; --en-href:%1; --en-title:\"Plans; later\"; "
                       "--en-target:note; color: red")
            .arg(viewLink(kGUID)));
    ASSERT_TRUE(card);
    EXPECT_EQ(card->href, viewLink(kGUID));
    EXPECT_EQ(card->title, QStringLiteral("Plans; later"));
    EXPECT_FALSE(EvernoteNoteLinkURL::richLinkFromStyle(QStringLiteral("--en-richlink:false")));
    EXPECT_FALSE(EvernoteNoteLinkURL::richLinkFromStyle(QStringLiteral("color: red")));
}

TEST(EvernoteNoteLinkIndex, NamesOnlyATitleThatOneNoteHas) {
    auto index = sealedIndex({QStringLiteral("  Trip\n\tPlans "), QStringLiteral("Twice"),
                              QStringLiteral("Twice"), QStringLiteral("Case"),
                              QStringLiteral("CASE"), QStringLiteral("Caf\u00e9")});
    const auto trip = index->targetForText(QStringLiteral("Trip Plans"));
    ASSERT_TRUE(trip.found());
    // Case is ignored only when that still leaves one note.
    EXPECT_EQ(index->targetForText(QStringLiteral("trip plans")).identifier, trip.identifier);
    EXPECT_EQ(index->targetForText(QStringLiteral("case")).miss, Miss::SharedTitle);
    EXPECT_TRUE(index->targetForText(QStringLiteral("CASE")).found());
    EXPECT_EQ(index->targetForText(QStringLiteral("Twice")).miss, Miss::SharedTitle);
    // A decomposed é is the same title; a misspelling is none.
    EXPECT_TRUE(index->targetForText(QStringLiteral("Cafe\u0301")).found());
    EXPECT_EQ(index->targetForText(QStringLiteral("Trip Plan")).miss, Miss::NoTitle);
    EXPECT_EQ(index->targetForText(QStringLiteral(" \n")).miss, Miss::EmptyText);
    EXPECT_EQ(index->targetForText(QString(5000, u'x')).miss, Miss::TooLong);
}

TEST(EvernoteNoteLinkIndex, GivesEachUniqueTitleItsIdentifierOnce) {
    auto index = sealedIndex({QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Two")});
    const auto one = index->claimIdentifierForTitle(QStringLiteral(" One"));
    ASSERT_TRUE(one);
    EXPECT_EQ(*one, index->targetForText(QStringLiteral("One")).identifier);
    EXPECT_EQ(*one, one->toUpper());
    // A second note of that title (from a file the scan could not read) gets none.
    EXPECT_FALSE(index->claimIdentifierForTitle(QStringLiteral("One")));
    EXPECT_FALSE(index->claimIdentifierForTitle(QStringLiteral("Two")));
    EXPECT_FALSE(index->claimIdentifierForTitle(QStringLiteral("Three")));
}

TEST(EvernoteNoteLinkIndex, TiesAGUIDOnlyWhenItsEvidenceAgrees) {
    auto index = std::make_shared<EvernoteNoteLinkIndex>();
    for (const QString& title : {QStringLiteral("Alpha"), QStringLiteral("Beta")})
        index->addTitle(title);
    const QString tied = QStringLiteral("11111111-1111-1111-1111-111111111111");
    const QString torn = QStringLiteral("22222222-2222-2222-2222-222222222222");
    index->addGUIDEvidence(tied.toUpper(), QStringLiteral("alpha"));
    index->addGUIDEvidence(tied, QStringLiteral("https://not a title"));  // says nothing
    index->addGUIDEvidence(torn, QStringLiteral("Alpha"));
    index->addGUIDEvidence(torn, QStringLiteral("Beta"));
    index->seal();
    EXPECT_EQ(index->targetForGUID(tied).identifier,
              index->targetForText(QStringLiteral("Alpha")).identifier);
    EXPECT_EQ(index->targetForGUID(torn).miss, Miss::Conflicting);
    EXPECT_EQ(index->targetForGUID(kGUID).miss, Miss::Untied);
}

TEST(EvernoteNoteLinks, LeadsLinksByGUIDTextOrCardAndLeavesTheRest) {
    auto index = std::make_shared<EvernoteNoteLinkIndex>();
    for (const QString& title : {QStringLiteral("Target"), QStringLiteral("Card Target"),
                                 QStringLiteral("Dup"), QStringLiteral("Dup")})
        index->addTitle(title);
    const QString tied = QStringLiteral("33333333-3333-3333-3333-333333333333");
    index->addGUIDEvidence(tied, QStringLiteral("Target"));
    index->seal();
    EvernoteNoteLinks links(index);
    const QString target =
        PelmoraApplication::itemLinkURL(index->targetForText(QStringLiteral("Target")).identifier)
            .toString();
    const QString card = PelmoraApplication::itemLinkURL(
                             index->targetForText(QStringLiteral("Card Target")).identifier)
                             .toString();
    const QString web = QStringLiteral("https://example.org/Target");
    const QStringList hrefs = resolvedHrefs(
        links,
        QStringLiteral("<a href=\"%1\">Target</a>"           // by text
                       "<a href=\"%2\">anything at all</a>"  // by its tied GUID
                       "<div style=\"--en-richlink:true; --en-href:%3; --en-title:Card Target\">"
                       "<a href=\"%3\">%3</a></div>"                 // by the card's title
                       "<a href=\"%4\">Dup</a>"                      // shared: left
                       "<a href=\"%4\">Targte</a>"                   // misspelt: left
                       "<a href=\"%4\"><b></b></a>"                  // no text: left
                       "<a href=\"%5\">Target</a>"                   // a web page: untouched
                       "<a href=\"javascript:void(0)\">Target</a>")  // untouched, not counted
            .arg(viewLink(kGUID), viewLink(tied),
                 QStringLiteral("https://www.evernote.com/shard/s1/nl/2/%1/").arg(kGUID),
                 viewLink(QStringLiteral("44444444-4444-4444-4444-444444444444")), web),
        QStringLiteral("\n\t\tSource\n\t"));  // as an indented export gives it
    EXPECT_EQ(hrefs, (QStringList{target, target, card,
                                  viewLink(QStringLiteral("44444444-4444-4444-4444-444444444444")),
                                  viewLink(QStringLiteral("44444444-4444-4444-4444-444444444444")),
                                  viewLink(QStringLiteral("44444444-4444-4444-4444-444444444444")),
                                  web, QStringLiteral("javascript:void(0)")}));
    EXPECT_EQ(links.resolvedCount(), 3u);
    EXPECT_EQ(links.leftCount(), 3u);
    const auto left = links.leftLinks();
    ASSERT_EQ(left.size(), 3);
    EXPECT_EQ(left[0].noteTitle, QStringLiteral("Source"));
    EXPECT_EQ(left[0].text, QStringLiteral("Dup"));
    EXPECT_EQ(left[0].reason, EvernoteNoteLinks::reasonText(Miss::SharedTitle));
    EXPECT_EQ(left[1].reason, EvernoteNoteLinks::reasonText(Miss::NoTitle));
    EXPECT_EQ(left[2].reason, EvernoteNoteLinks::reasonText(Miss::EmptyText));
}

// A link led to a note that then gives no item (its conversion failed, or it
// never came) leads nowhere: the summary must not count it as resolved.
TEST(EvernoteNoteLinks, LinksToNotesThatGaveNoItemEndUpCountedAsLeft) {
    auto index = sealedIndex(
        {QStringLiteral("Came"), QStringLiteral("Failed"), QStringLiteral("Never came")});
    EvernoteNoteLinks links(index);
    const QString came = links.identifierForNote(QStringLiteral("Came"), QStringLiteral("x"));
    const QString failed = links.identifierForNote(QStringLiteral("Failed"), QStringLiteral("y"));
    EXPECT_EQ(links.identifierForNote(QStringLiteral("Came"), QStringLiteral("z")),
              QStringLiteral("z"));  // taken once only
    resolvedHrefs(links, QStringLiteral("<a href=\"%1\">Came</a><a href=\"%1\">Failed</a>"
                                        "<a href=\"%1\">Failed</a><a href=\"%1\">Never came</a>")
                             .arg(viewLink(kGUID)));
    EXPECT_EQ(links.resolvedCount(), 4u);
    links.noteWasNotImported(failed);
    links.settleLinksToMissingNotes();
    EXPECT_EQ(links.resolvedCount(), 1u);
    EXPECT_EQ(links.leftCount(), 3u);
    EXPECT_NE(came, QStringLiteral("x"));
}

TEST(PelmoraItemLink, NamesAnItemAndNothingElse) {
    const QString identifier = QStringLiteral("0A1B2C3D-0000-4000-8000-00000000ABCD");
    const QUrl link = PelmoraApplication::itemLinkURL(identifier);
    EXPECT_EQ(link.toString(), QStringLiteral("pelmora://item/") + identifier);
    EXPECT_EQ(PelmoraApplication::identifierOfItemLink(link), identifier);
    EXPECT_EQ(PelmoraApplication::identifierOfItemLink(QUrl(QStringLiteral("pelmora://item/a/b"))),
              QString());
    EXPECT_EQ(PelmoraApplication::identifierOfItemLink(QUrl(QStringLiteral("https://item/x"))),
              QString());
}
