#include <gtest/gtest.h>

#include <QRegularExpression>

#include "RichTextFixture.h"
#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/RTFReader.h"
#include "platform/richtext/RTFWriter.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TextInspection.h"

namespace {

AttributedString readRTF(const QByteArray& rtf, RTFDocumentAttributes* document = nullptr) {
    Error error;
    const std::optional<AttributedString> text =
        RTFReader::attributedStringFromRTF(rtf, document, &error);
    EXPECT_TRUE(text) << error.description().toStdString();
    return text.value_or(AttributedString());
}

AttributedString roundTrip(const AttributedString& text,
                           const RTFDocumentAttributes& document = {}) {
    return readRTF(RTFWriter::RTFFromAttributedString(text, document));
}

}  // namespace

TEST(RTF, WritingWhatWasReadGivesTheSameRTF) {
    const QByteArray first = RTFWriter::RTFFromAttributedString(RichTextFixture::document());
    const AttributedString read = readRTF(first);
    EXPECT_EQ(read.string(), RichTextFixture::document().string());
    EXPECT_EQ(RTFWriter::RTFFromAttributedString(read), first);
}

TEST(RTF, CharacterAttributesSurvive) {
    AttributedString text = RichTextFixture::document();
    TextAttributes shifted = RichTextFixture::plain();
    shifted.font = FontRegistry::fontWithFamily(QStringLiteral("Menlo"), 10.5);
    shifted.baselineOffset = 3;
    shifted.underline = TextDecoration{TextDecoration::Style::Double, QColor(0, 128, 0)};
    text.append(QStringLiteral(" raised"), shifted);
    const AttributedString read = roundTrip(text);

    EXPECT_EQ(attributesOf(read, QStringLiteral("bold")).font,
              FontRegistry::fontWithFamily(QStringLiteral("Helvetica"), 12, true));
    const TextAttributes& red = attributesOf(read, QStringLiteral("italic red"));
    EXPECT_EQ(red.font,
              FontRegistry::fontWithFamily(QStringLiteral("Times New Roman"), 14, false, true));
    EXPECT_EQ(red.foregroundColor, QColor(200, 20, 30));
    const TextAttributes& underlined = attributesOf(read, QStringLiteral("underlined"));
    EXPECT_EQ(underlined.underline->style, TextDecoration::Style::Single);
    EXPECT_EQ(underlined.backgroundColor, QColor(255, 255, 0));
    EXPECT_FALSE(attributesOf(read, QStringLiteral(" and ")).backgroundColor);
    EXPECT_EQ(attributesOf(read, QStringLiteral("struck")).strikethrough,
              (TextDecoration{TextDecoration::Style::Single, QColor(0, 0, 255)}));
    EXPECT_EQ(read.attributesAtIndex(indexOf(read, QStringLiteral("mc2")) + 2).superscript, 1);
    EXPECT_EQ(read.attributesAtIndex(indexOf(read, QStringLiteral("H2O")) + 1).superscript, -1);
    EXPECT_FALSE(read.attributesAtIndex(indexOf(read, QStringLiteral("H2O")) + 2).superscript);

    const TextAttributes& raised = attributesOf(read, QStringLiteral("raised"));
    EXPECT_EQ(raised.font->pointSize(), 10.5);
    EXPECT_EQ(raised.font->postScriptName(), QStringLiteral("Menlo-Regular"));
    EXPECT_EQ(raised.baselineOffset, 3.0);
    EXPECT_EQ(raised.underline, (TextDecoration{TextDecoration::Style::Double, QColor(0, 128, 0)}));
}

TEST(RTF, ExplicitWhiteBackgroundIsNotMistakenForNone) {
    TextAttributes white;
    white.backgroundColor = QColor(Qt::white);
    AttributedString text(QStringLiteral("on white"), white);
    text.append(QStringLiteral(" plain"), {});
    const AttributedString read = roundTrip(text);
    EXPECT_EQ(attributesOf(read, QStringLiteral("on white")).backgroundColor, QColor(Qt::white));
    EXPECT_FALSE(attributesOf(read, QStringLiteral("plain")).backgroundColor);
}

TEST(RTF, HighlightsAreWrittenForEveryReaderAndReadBackOnce) {
    TextAttributes yellow;
    yellow.backgroundColor = QColor(255, 239, 158);
    TextAttributes blue;
    blue.backgroundColor = QColor(173, 229, 252);
    AttributedString text(QStringLiteral("plain "), {});
    text.append(QStringLiteral("marked"), yellow);
    text.append(QStringLiteral("blue"), blue);
    text.append(QStringLiteral(" after"), {});
    const QByteArray rtf = RTFWriter::RTFFromAttributedString(text);

    // Every change of background is written both as Cocoa's \cb and as the
    // standard \highlight with the same colour, and both are ended together.
    QList<std::pair<int, int>> pairs;
    const QRegularExpression words(QStringLiteral("\\\\highlight(\\d+)\\\\cb(\\d+)"));
    for (const QRegularExpressionMatch& match : words.globalMatch(QString::fromLatin1(rtf)))
        pairs.append({match.captured(1).toInt(), match.captured(2).toInt()});
    ASSERT_EQ(pairs.size(), 3) << rtf.toStdString();
    EXPECT_EQ(pairs[0].first, pairs[0].second);
    EXPECT_EQ(pairs[1].first, pairs[1].second);
    EXPECT_NE(pairs[0].first, pairs[1].first);
    EXPECT_EQ(pairs[2], std::make_pair(0, 1));
    EXPECT_EQ(rtf.count("\\cb"), 3);
    EXPECT_EQ(rtf.count("\\highlight"), 3);

    const AttributedString read = readRTF(rtf);
    EXPECT_EQ(read.string(), text.string());
    for (qsizetype i = 0; i < text.length(); ++i)
        EXPECT_EQ(read.attributesAtIndex(i).backgroundColor,
                  text.attributesAtIndex(i).backgroundColor)
            << i;
    EXPECT_EQ(RTFWriter::RTFFromAttributedString(read), rtf);
}

TEST(RTF, ParagraphStylesSurvive) {
    ParagraphStyle style;
    style.alignment = TextAlignment::Justified;
    style.headIndent = 20;
    style.firstLineHeadIndent = 30;
    style.tailIndent = -15;
    style.paragraphSpacingBefore = 4;
    style.paragraphSpacing = 8;
    style.lineHeightMultiple = 1.5;
    style.lineSpacing = 2;
    style.tabStops = {{36, TextTab::Alignment::Left}, {144, TextTab::Alignment::Right}};
    style.defaultTabInterval = 36;
    AttributedString text;
    RichTextFixture::appendParagraph(text, QStringLiteral("styled"), RichTextFixture::plain(),
                                     style);
    text.append(QStringLiteral("default"), RichTextFixture::plain());
    const AttributedString read = roundTrip(text);
    EXPECT_EQ(styleOf(read, QStringLiteral("styled")), style);
    EXPECT_FALSE(attributesOf(read, QStringLiteral("default")).paragraphStyle);
}

TEST(RTF, NestedListsKeepTheirStructureAndMarkers) {
    const AttributedString read = roundTrip(RichTextFixture::document());
    const ParagraphStyle passport = styleOf(read, QStringLiteral("Passport"));
    const ParagraphStyle tickets = styleOf(read, QStringLiteral("Tickets"));
    const ParagraphStyle visa = styleOf(read, QStringLiteral("Visa"));
    const ParagraphStyle camera = styleOf(read, QStringLiteral("Camera"));
    ASSERT_EQ(passport.textLists.size(), 1);
    ASSERT_EQ(tickets.textLists.size(), 2);
    EXPECT_EQ(passport.textLists[0].markerFormat(), QStringLiteral("{disc}"));
    EXPECT_EQ(tickets.textLists[1].markerFormat(), QStringLiteral("{decimal}."));
    EXPECT_EQ(tickets.textLists, visa.textLists);           // one sublist
    EXPECT_EQ(camera.textLists[0], passport.textLists[0]);  // the outer list goes on
    EXPECT_TRUE(read.string().contains(QStringLiteral("\t2.\tVisa\n\t\u2022\tCamera")));
}

TEST(RTF, SeparateListsStaySeparate) {
    AttributedString text;
    const TextList first(QStringLiteral("{decimal}."));
    const TextList second(QStringLiteral("{decimal}."), 5);
    RichTextFixture::appendListItem(text, {first}, 1, QStringLiteral("one"));
    RichTextFixture::appendListItem(text, {second}, 5, QStringLiteral("five"));
    const QByteArray rtf = RTFWriter::RTFFromAttributedString(text);
    EXPECT_TRUE(rtf.contains("\\ls2\\ilvl0"));
    const AttributedString read = readRTF(rtf);
    const TextList readFirst = styleOf(read, QStringLiteral("one")).textLists.value(0);
    const TextList readSecond = styleOf(read, QStringLiteral("five")).textLists.value(0);
    EXPECT_NE(readFirst.identifier(), readSecond.identifier());
    EXPECT_EQ(readSecond.startingItemNumber(), 5);
}

TEST(RTF, TablesKeepCellsAndTheirLook) {
    const AttributedString read = roundTrip(RichTextFixture::document());
    const QList<TextTableBlock> city = styleOf(read, QStringLiteral("City")).textBlocks;
    const QList<TextTableBlock> three = styleOf(read, QStringLiteral("3\n")).textBlocks;
    ASSERT_EQ(city.size(), 1);
    ASSERT_EQ(three.size(), 1);
    EXPECT_EQ(city[0].table, three[0].table);
    EXPECT_EQ(city[0].table.numberOfColumns(), 2);
    EXPECT_EQ(three[0].startingRow, 1);
    EXPECT_EQ(three[0].startingColumn, 1);
    EXPECT_EQ(city[0].padding, 5.0);
    EXPECT_EQ(city[0].borderWidth, 1.0);
    EXPECT_EQ(city[0].borderColor, QColor(80, 80, 80));
    EXPECT_EQ(city[0].backgroundColor, QColor(230, 230, 250));
    EXPECT_FALSE(three[0].backgroundColor.isValid());
    EXPECT_TRUE(styleOf(read, QStringLiteral("Packing")).textBlocks.isEmpty());
}

TEST(RTF, MergedAndNestedCellsSurvive) {
    AttributedString text;
    const TextTable outer(3);
    RichTextFixture::appendCell(text, {}, outer, 0, 0, QStringLiteral("wide"), 1, 2);
    RichTextFixture::appendCell(text, {}, outer, 0, 2, QStringLiteral("tall"), 2, 1);
    RichTextFixture::appendCell(text, {}, outer, 1, 0, QStringLiteral("left"));
    // The middle cell of the second row holds a table of its own.
    TextTableBlock host;
    host.table = outer;
    host.startingRow = 1;
    host.startingColumn = 1;
    const TextTable inner(2);
    RichTextFixture::appendCell(text, {host}, inner, 0, 0, QStringLiteral("in A"));
    RichTextFixture::appendCell(text, {host}, inner, 0, 1, QStringLiteral("in B"));
    text.append(QStringLiteral("after"), RichTextFixture::plain());

    const QByteArray rtf = RTFWriter::RTFFromAttributedString(text);
    EXPECT_TRUE(rtf.contains("\\itap2\\trowd"));
    EXPECT_TRUE(rtf.contains("\\nestcell"));
    const AttributedString read = readRTF(rtf);
    EXPECT_EQ(read.string(), QStringLiteral("wide\ntall\nleft\nin A\nin B\nafter"));
    const TextTableBlock wide = styleOf(read, QStringLiteral("wide")).textBlocks.value(0);
    const TextTableBlock tall = styleOf(read, QStringLiteral("tall")).textBlocks.value(0);
    EXPECT_EQ(wide.columnSpan, 2);
    EXPECT_EQ(tall.startingColumn, 2);
    EXPECT_EQ(tall.rowSpan, 2);
    const QList<TextTableBlock> inB = styleOf(read, QStringLiteral("in B")).textBlocks;
    ASSERT_EQ(inB.size(), 2);
    EXPECT_EQ(inB[0].startingRow, 1);
    EXPECT_EQ(inB[0].startingColumn, 1);
    EXPECT_EQ(inB[0].table, wide.table);
    EXPECT_EQ(inB[1].startingColumn, 1);
    EXPECT_EQ(inB[1].table.numberOfColumns(), 2);
    EXPECT_TRUE(styleOf(read, QStringLiteral("after")).textBlocks.isEmpty());
    EXPECT_EQ(RTFWriter::RTFFromAttributedString(read), rtf);
}

TEST(RTF, LinksAndAttachmentsSurvive) {
    const AttributedString read = roundTrip(RichTextFixture::document());
    TextRange range;
    const TextAttributes& link =
        read.attributesAtIndex(indexOf(read, QStringLiteral("the booking")), &range);
    EXPECT_EQ(link.link, QUrl(QStringLiteral("https://example.com/booking?id=7")));
    EXPECT_EQ(read.string().mid(range.location, range.length), QStringLiteral("the booking site"));

    QStringList names;
    read.enumerateAttachments({0, read.length()},
                              [&](const TextAttachment& a, const TextRange&, bool&) {
                                  names << a.fileWrapper().preferredFilename();
                              });
    EXPECT_EQ(names, (QStringList{"map.png", "ticket.pdf"}));
}

TEST(RTF, UnicodeTextSurvives) {
    const QString words = QStringLiteral("café naïve €5 – 東京 😀 {braces} back\\slash\ttab");
    const QByteArray rtf =
        RTFWriter::RTFFromAttributedString(AttributedString(words, RichTextFixture::plain()));
    EXPECT_TRUE(rtf.contains("caf\\'e9"));
    EXPECT_TRUE(rtf.contains("\\'80"));
    EXPECT_TRUE(rtf.contains("\\uc0\\u26481 "));
    EXPECT_TRUE(rtf.contains("\\uc0\\u55357 \\uc0\\u56832 "));
    EXPECT_TRUE(rtf.contains("\\{braces\\} back\\\\slash"));
    EXPECT_EQ(readRTF(rtf).string(), words);
}

TEST(RTF, DocumentAttributesSurvive) {
    RTFDocumentAttributes document;
    document.paperSize = QSizeF(612, 792);
    document.backgroundColor = QColor(250, 240, 200);
    document.viewKind = 1;
    document.readOnly = true;
    document.cocoaPlatform = 1;
    RTFDocumentAttributes read;
    readRTF(RTFWriter::RTFFromAttributedString(AttributedString(QStringLiteral("x")), document),
            &read);
    EXPECT_EQ(read, document);
}

TEST(RTF, ReadsCocoaOutput) {
    const QByteArray cocoa =
        "{\\rtf1\\ansi\\ansicpg1252\\cocoartf2822\n"
        "\\cocoatextscaling0\\cocoaplatform0{\\fonttbl\\f0\\fswiss\\fcharset0 Helvetica;"
        "\\f1\\fswiss\\fcharset0 Helvetica-Bold;}\n"
        "{\\colortbl;\\red255\\green255\\blue255;\\red251\\green2\\blue7;"
        "\\red109\\green109\\blue109;}\n"
        "{\\*\\expandedcolortbl;;\\cssrgb\\c100000\\c14913\\c0;\\cssrgb\\c50196\\c50196\\c50196;}\n"
        "{\\*\\listtable{\\list\\listtemplateid1\\listhybrid{"
        "\\listlevel\\levelnfc23\\levelnfcn23\\leveljc0"
        "\\leveljcn0\\levelfollow0\\levelstartat1\\levelspace360\\levelindent0{\\*\\levelmarker "
        "\\{disc\\}}"
        "{\\leveltext\\leveltemplateid1\\'01\\uc0\\u8226 "
        ";}{\\levelnumbers;}\\fi-360\\li720\\lin720 }"
        "{\\listname ;}\\listid1}}\n"
        "{\\*\\listoverridetable{\\listoverride\\listid1\\listoverridecount0\\ls1}}\n"
        "\\paperw11900\\paperh16840\\margl1440\\margr1440\\vieww11520\\viewh8400\\viewkind0\n"
        "\\pard\\tx720\\tx1440\\pardirnatural\\partightenfactor0\n\n"
        "\\f0\\fs24 \\cf0 Hello \\f1\\b bold\\f0\\b0  \\cf2 red\\cf0  caf\\'e9 \\uc0\\u55357 "
        "\\u56832 \\\n"
        "{\\*\\unknowndestination hidden}\\\n"
        "\\pard\\tx220\\tx720\\pardeftab720\\li720\\fi-720\\partightenfactor0\n"
        "\\ls1\\ilvl0\\cf0 {\\listtext\t\\uc0\\u8226 \t}First\\\n"
        "{\\listtext\t\\uc0\\u8226 \t}Second\\\n"
        "\\pard\\pardeftab720\\partightenfactor0\n"
        "\\cf0 {\\field{\\*\\fldinst{HYPERLINK \"https://example.com/a\"}}{\\fldrslt \\cf2 \\ul "
        "\\ulc2 link}}\\\n"
        "{{\\NeXTGraphic Pasted Graphic.png \\width2400 \\height1200 \\appleattachmentpadding0 "
        "\\appleembedtype0 \\appleaqc\n}\xAC}\\\n"
        "\\itap1\\trowd \\taflags1 \\trgaph108\\trleft-108 \\trbrdrt\\brdrnil \\trbrdrl\\brdrnil "
        "\\trbrdrr\\brdrnil \n"
        "\\clvertalc \\clshdrawnil \\clwWidth2000\\clftsWidth3 \\clbrdrt\\brdrs\\brdrw20\\brdrcf3 "
        "\\clbrdrl\\brdrs\\brdrw20\\brdrcf3 \\clbrdrb\\brdrs\\brdrw20\\brdrcf3 "
        "\\clbrdrr\\brdrs\\brdrw20\\brdrcf3 "
        "\\clpadl200 \\clpadr200 \\gaph\\cellx4320\n"
        "\\clvertalc \\clshdrawnil \\clwWidth2000\\clftsWidth3 \\clbrdrt\\brdrs\\brdrw20\\brdrcf3 "
        "\\clbrdrl\\brdrs\\brdrw20\\brdrcf3 \\clbrdrb\\brdrs\\brdrw20\\brdrcf3 "
        "\\clbrdrr\\brdrs\\brdrw20\\brdrcf3 "
        "\\clpadl200 \\clpadr200 \\gaph\\cellx8640\n"
        "\\pard\\intbl\\itap1\\pardeftab720\\partightenfactor0\n\n\\cf0 A1\\cell \n"
        "\\pard\\intbl\\itap1\\pardeftab720\\partightenfactor0\n\n\\cf0 B1\\cell \\lastrow\\row\n"
        "\\pard\\pardeftab720\\partightenfactor0\n\\cf0 After}";
    RTFDocumentAttributes document;
    const AttributedString read = readRTF(cocoa, &document);
    EXPECT_EQ(read.string(),
              QStringLiteral("Hello bold red café 😀\n\n\t•\tFirst\n\t•\tSecond\nlink\n\uFFFC\n"
                             "A1\nB1\nAfter"));
    EXPECT_EQ(document.cocoaVersion, 2822);
    EXPECT_EQ(document.paperSize, QSizeF(595, 842));

    EXPECT_TRUE(attributesOf(read, QStringLiteral("bold")).font->isBold());
    // The expanded colour table wins over the 8-bit approximation.
    EXPECT_EQ(attributesOf(read, QStringLiteral("red")).foregroundColor,
              QColor::fromRgbF(1, 0.14913f, 0));
    EXPECT_EQ(styleOf(read, QStringLiteral("Hello")).tabStops.size(), 2);
    EXPECT_EQ(styleOf(read, QStringLiteral("First")).textLists,
              styleOf(read, QStringLiteral("Second")).textLists);
    EXPECT_EQ(styleOf(read, QStringLiteral("First")).textLists.value(0).markerFormat(),
              QStringLiteral("{disc}"));
    EXPECT_EQ(styleOf(read, QStringLiteral("First")).headIndent, 36.0);

    const TextAttributes& link = attributesOf(read, QStringLiteral("link"));
    EXPECT_EQ(link.link, QUrl(QStringLiteral("https://example.com/a")));
    EXPECT_EQ(link.underline->color, QColor::fromRgbF(1, 0.14913f, 0));

    const TextAttributes& attachment =
        read.attributesAtIndex(indexOf(read, QStringLiteral("\uFFFC")));
    ASSERT_TRUE(attachment.attachment);
    EXPECT_EQ(attachment.attachment->fileWrapper().preferredFilename(),
              QStringLiteral("Pasted Graphic.png"));
    EXPECT_EQ(attachment.attachment->displaySize(), QSizeF(120, 60));

    const TextTableBlock a1 = styleOf(read, QStringLiteral("A1")).textBlocks.value(0);
    const TextTableBlock b1 = styleOf(read, QStringLiteral("B1")).textBlocks.value(0);
    EXPECT_EQ(a1.table, b1.table);
    EXPECT_EQ(b1.startingColumn, 1);
    EXPECT_EQ(a1.contentWidth, 100.0);
    EXPECT_EQ(a1.padding, 10.0);
    EXPECT_EQ(a1.verticalAlignment, TextTableBlock::VerticalAlignment::Middle);
    EXPECT_TRUE(styleOf(read, QStringLiteral("After")).textBlocks.isEmpty());
}

TEST(RTF, ReadsOtherCodePagesAndOlderForms) {
    // Japanese code page bytes, \uc1 fallback characters, the escaped
    // placeholder of other writers, and Word's highlight.
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg932{\\fonttbl\\f0\\fnil\\fcharset128 HiraginoSans-W3;}"
        "{\\colortbl;\\red255\\green255\\blue0;}"
        "\\f0 \\'82\\'a0\\'82\\'a2 \\uc1\\u8364\\'80 \\highlight1 hi\\highlight0  "
        "{{\\NeXTGraphic dot.gif \\width20 \\height20}\\'ac}}";
    const AttributedString read = readRTF(rtf);
    EXPECT_EQ(read.string(), QStringLiteral("あい € hi \uFFFC"));
    EXPECT_EQ(attributesOf(read, QStringLiteral("hi")).backgroundColor, QColor(255, 255, 0));
    EXPECT_EQ(
        read.attributesAtIndex(read.length() - 1).attachment->fileWrapper().preferredFilename(),
        QStringLiteral("dot.gif"));
}

TEST(RTF, RejectsDataThatIsNotRTF) {
    Error error;
    EXPECT_FALSE(RTFReader::attributedStringFromRTF("<html>not rtf</html>", nullptr, &error));
    EXPECT_EQ(error.domain(), QStringLiteral("NSCocoaErrorDomain"));
    EXPECT_EQ(error.code(), 259);
    // Truncated RTF is read as far as it goes.
    EXPECT_EQ(readRTF("{\\rtf1\\ansi {\\b cut").string(), QStringLiteral("cut"));
}

// Reads what should fail and gives the error.
Error readFailure(const QByteArray& rtf) {
    Error error;
    EXPECT_FALSE(RTFReader::attributedStringFromRTF(rtf, nullptr, &error));
    EXPECT_EQ(error.domain(), QStringLiteral("NSCocoaErrorDomain"));
    EXPECT_EQ(error.code(), 259);
    return error;
}

TEST(RTF, HostileNestingIsAnErrorNotASilentCut) {
    // A group state per level of a hundred thousand levels would take
    // gigabytes; dropping the text below the limit would lose it unnoticed.
    const QByteArray hostile =
        "{\\rtf1 a" + QByteArray(100000, '{') + "x" + QByteArray(100000, '}') + " b}";
    EXPECT_TRUE(readFailure(hostile).localizedDescription().contains(QStringLiteral("512 levels")));
    EXPECT_TRUE(readFailure("{\\rtf1 a" + QByteArray(512, '{') + "x}")
                    .localizedDescription()
                    .contains(QStringLiteral("groups")));
    // Deep but within the limit: every character is kept.
    const QByteArray deep = "{\\rtf1 a" + QByteArray(500, '{') + "x" + QByteArray(500, '}') + " b}";
    EXPECT_EQ(readRTF(deep).string(), QStringLiteral("ax b"));
}

TEST(RTF, HostileTablesAreErrorsInBoundedTime) {
    // A table nesting level that the reader would make room for one by one.
    EXPECT_TRUE(readFailure(fuzzSeed("rtf/rtf_itap_huge.rtf"))
                    .localizedDescription()
                    .contains(QStringLiteral("tables")));
    EXPECT_TRUE(readFailure("{\\rtf1 {\\itap65 x\\nestcell\\nestrow}}")
                    .localizedDescription()
                    .contains(QStringLiteral("64 levels")));
    EXPECT_EQ(readRTF("{\\rtf1 {\\itap3 x\\nestcell\\nestrow}}").string().left(1),
              QStringLiteral("x"));

    // Rows of more cells than any table has, as definitions and as cells.
    QByteArray definitions = "{\\rtf1 \\trowd";
    for (int i = 1; i <= 1001; ++i) definitions += "\\cellx" + QByteArray::number(i * 10);
    EXPECT_TRUE(readFailure(definitions + " x\\cell\\row}")
                    .localizedDescription()
                    .contains(QStringLiteral("1000 cells")));
    EXPECT_TRUE(readFailure("{\\rtf1 \\trowd\\cellx10 \\intbl " +
                            QByteArray("x\\cell ").repeated(1001) + "\\row}")
                    .localizedDescription()
                    .contains(QStringLiteral("1000 cells")));
}

TEST(RTF, WritingWhatWasReadIsStableForDamagedInput) {
    // Found by fuzzing: a link whose target makes no address was kept and
    // written as an empty link, and \\uc was ignored inside the font table,
    // so a font name lost a letter on every round.
    for (const char* seed :
         {"rtf/round_trip_link_without_address.rtf", "rtf/round_trip_unicode_font_name.rtf"}) {
        RTFDocumentAttributes document;
        const AttributedString read = readRTF(fuzzSeed(seed), &document);
        const QByteArray written = RTFWriter::RTFFromAttributedString(read, document);
        RTFDocumentAttributes documentAgain;
        const AttributedString again = readRTF(written, &documentAgain);
        EXPECT_EQ(again.string(), read.string()) << seed;
        EXPECT_EQ(RTFWriter::RTFFromAttributedString(again, documentAgain), written) << seed;
    }
    EXPECT_FALSE(readRTF("{\\rtf1 {\\field{\\*\\fldinst{HYPERLINK \"\"}}{\\fldrslt x}}}")
                     .attributesAtIndex(0)
                     .link);
}

TEST(RTF, AnyFontSizeIsWrittenAsIntegersCanHoldIt) {
    // Found by fuzzing: a size read from \fs2147483647 overflowed the
    // writer's arithmetic in half points.
    const AttributedString huge = readRTF("{\\rtf1 \\fs2147483647 x}");
    const AttributedString back = readRTF(RTFWriter::RTFFromAttributedString(huge, {}));
    ASSERT_TRUE(back.attributesAtIndex(0).font);
    EXPECT_EQ(back.attributesAtIndex(0).font->pointSize(), 100000);
}
