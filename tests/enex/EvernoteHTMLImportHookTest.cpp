// The note service's elements and style properties, read by the HTML
// importer through the note hook, next to what the same HTML gives a web page.
#include <gtest/gtest.h>

#include "enex/EvernoteHTMLImportHook.h"
#include "platform/richtext/HTMLImporter.h"
#include "platform/xml/XMLDocument.h"
#include "tests/support/TextInspection.h"

namespace {

// The HTML as a note (with the hook) or as a web page (without).
AttributedString importAs(const QByteArray& html, bool asNote = true) {
    const EvernoteHTMLImportHook hook;
    return importHTML(html, QUrl(), asNote ? &hook : nullptr);
}

QString familyOf(const AttributedString& text, const QString& needle) {
    return attributesOf(text, needle).font->family();
}

// The family the importer gives code, which note code must share.
QString fixedFamily() { return familyOf(importAs("<code>x</code>"), QStringLiteral("x")); }

}  // namespace

TEST(EvernoteHTMLImportHook, ChecklistItemsStartWithCheckBoxMarkers) {
    const AttributedString text = importAs(
        "<ul style=\"--en-todo:true;\">"
        "<li style=\"--en-checked:true;\"><div>Buy milk</div></li>"
        "<li style=\"--en-checked:false;\"><div>Call</div></li>"
        "<li><div></div></li></ul>"
        "<div><input type=\"checkbox\" checked=\"checked\"/> Boxed</div>"
        // An unchecked box with nothing after it keeps its space, so it is still a marker.
        "<div>\u2610 </div>");
    EXPECT_EQ(text.string(), QStringLiteral("\u2611\uFE0E Buy milk\n\u2610 Call\n\u2610 \n"
                                            "\u2611\uFE0E Boxed\n\u2610 \n"));
    EXPECT_TRUE(styleOf(text, QStringLiteral("Buy")).textLists.isEmpty());
}

TEST(EvernoteHTMLImportHook, HighlightsAndCodeBlocks) {
    const AttributedString text = importAs(
        "<div>a <span style=\"--en-highlight:yellow;\">marked</span>"
        " <span style=\"--en-highlight:green;background-color:rgb(1,2,3)\">green</span></div>"
        "<div style=\"--en-codeblock:true;\"><div>int x = 1;</div><div>return x;</div></div>"
        "<div style=\"--en-codeblock:true; background-color: #fbfaf8;"
        " font-family: Menlo, monospace\"><div>styled</div></div>");
    EXPECT_EQ(attributesOf(text, QStringLiteral("marked")).backgroundColor, QColor(255, 239, 158));
    // The colour the pen painted with wins over the pen's name.
    EXPECT_EQ(attributesOf(text, QStringLiteral("green")).backgroundColor, QColor(1, 2, 3));
    EXPECT_FALSE(attributesOf(text, QStringLiteral("a ")).backgroundColor);

    for (const QString& line : {QStringLiteral("int x"), QStringLiteral("return")}) {
        const TextAttributes& code = attributesOf(text, line);
        EXPECT_EQ(code.font->family(), fixedFamily());
        EXPECT_EQ(code.backgroundColor, QColor(245, 245, 245));
    }
    EXPECT_EQ(text.string().count(QLatin1Char('\n')), 4);
    EXPECT_EQ(attributesOf(text, QStringLiteral("styled")).backgroundColor, QColor(251, 250, 248));
    EXPECT_EQ(familyOf(text, QStringLiteral("styled")), fixedFamily());
}

TEST(EvernoteHTMLImportHook, RestoresEachElementAndPropertyThatAWebPageIgnores) {
    // The note element is a block.
    EXPECT_EQ(importAs("a<en-note>b</en-note>c", false).string(), QStringLiteral("abc\n"));
    EXPECT_EQ(importAs("a<en-note>b</en-note>c").string(), QStringLiteral("a\nb\nc\n"));

    // To-do elements are check boxes, ticked by "true" in any case and spacing.
    const QByteArray todos =
        "<div><en-todo checked=\" TRUE \"></en-todo>done <en-todo checked=\"false\"></en-todo>"
        "open <en-todo></en-todo>bare</div>";
    EXPECT_EQ(importAs(todos, false).string(), QStringLiteral("done open bare\n"));
    EXPECT_EQ(importAs(todos).string(),
              QStringLiteral("\u2611\uFE0E done \u2610 open \u2610 bare\n"));

    // Older clients write the properties with one dash; a checked item is a
    // box in any list, without the list's bullet.
    const QByteArray lists =
        "<ul style=\"-en-todo:true\"><li>old</li></ul>"
        "<ol><li style=\"--en-checked:true\">ticked</li><li>numbered</li></ol>";
    EXPECT_EQ(importAs(lists, false).string(),
              QStringLiteral("\t\u2022\told\n\t1.\tticked\n\t2.\tnumbered\n"));
    const AttributedString list = importAs(lists);
    EXPECT_EQ(list.string(), QStringLiteral("\u2610 old\n\u2611\uFE0E ticked\n\t1.\tnumbered\n"));
    EXPECT_TRUE(styleOf(list, QStringLiteral("ticked")).textLists.isEmpty());

    // Inline code takes the fixed font without a background; pens by name or colour.
    const QByteArray styles =
        "<div><span style=\"--en-code:true\">code</span> <span style=\"--en-code:true;"
        " font-family: Georgia\">own</span> <span style=\"--en-highlight: Blue \">blue</span>"
        " <span style=\"--en-highlight:#102030\">hex</span>"
        " <span style=\"--en-highlight:glitter\">odd</span>"
        " <span style=\"--en-codeblock:true\">block</span></div>";
    const AttributedString page = importAs(styles, false);
    for (const char* word : {"code", "blue", "hex", "odd", "block"}) {
        EXPECT_EQ(familyOf(page, QLatin1String(word)), QStringLiteral("Helvetica")) << word;
        EXPECT_FALSE(attributesOf(page, QLatin1String(word)).backgroundColor) << word;
    }
    const AttributedString note = importAs(styles);
    EXPECT_EQ(familyOf(note, QStringLiteral("code")), fixedFamily());
    EXPECT_FALSE(attributesOf(note, QStringLiteral("code")).backgroundColor);
    EXPECT_NE(familyOf(note, QStringLiteral("own")), fixedFamily());
    EXPECT_EQ(attributesOf(note, QStringLiteral("blue")).backgroundColor, QColor(173, 229, 252));
    EXPECT_EQ(attributesOf(note, QStringLiteral("hex")).backgroundColor, QColor(16, 32, 48));
    EXPECT_EQ(attributesOf(note, QStringLiteral("odd")).backgroundColor, QColor(255, 239, 158));
    EXPECT_EQ(familyOf(note, QStringLiteral("block")), fixedFamily());
    EXPECT_EQ(attributesOf(note, QStringLiteral("block")).backgroundColor, QColor(245, 245, 245));
}

TEST(EvernoteHTMLImportHook, ReportsWhereEachBoxItMadeStarts) {
    const std::unique_ptr<XMLDocument> document = XMLDocument::parse(
        "<en-note><div>\u2610 typed</div><div><en-todo checked=\"true\"></en-todo>a</div>"
        "<ul style=\"--en-todo:true\"><li>b</li></ul><div>c <en-todo></en-todo></div></en-note>");
    ASSERT_TRUE(document);
    const EvernoteHTMLImportHook hook;
    QList<qsizetype> positions;
    const AttributedString text = HTMLImporter::attributedStringFromElement(
        document->rootElement(), QUrl(), notePreferences(), nullptr, &hook, &positions);
    EXPECT_EQ(text.string(), QStringLiteral("\u2610 typed\n\u2611\uFE0E a\n\u2610 b\nc \u2610 \n"));
    // The marker the note typed as text is not a box.
    const QList<qsizetype> expected = {8, 13, 19};
    EXPECT_EQ(positions, expected);

    QList<qsizetype> none;
    HTMLImporter::attributedStringFromElement(document->rootElement(), QUrl(), notePreferences(),
                                              nullptr, nullptr, &none);
    EXPECT_TRUE(none.isEmpty());
}
