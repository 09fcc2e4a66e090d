#include <gtest/gtest.h>

#include <QBuffer>
#include <vector>

#include "enex/ENEXNoteSplitter.h"

namespace {

std::vector<ENEXNoteStretch> split(QByteArray bytes,
                                   qsizetype limit = ENEXNoteSplitter::kDefaultStretchLimit) {
    QBuffer buffer(&bytes);
    ENEXNoteSplitter splitter(&buffer, limit);
    std::vector<ENEXNoteStretch> stretches;
    while (auto stretch = splitter.nextStretch()) stretches.push_back(std::move(*stretch));
    EXPECT_TRUE(splitter.error().isNull());
    return stretches;
}

const QByteArray kHead = "<?xml version=\"1.0\"?>\n<en-export>\n";

}  // namespace

TEST(ENEXNoteSplitter, CutsAtNotesWithTheirPlaceAndTitle) {
    const auto stretches = split(kHead +
                                 "<note><title>A &amp; B</title></note>\n"
                                 "  <note lang=\"en\"><title>C</title></note>\n</en-export>\n");
    ASSERT_EQ(stretches.size(), 2u);
    EXPECT_EQ(stretches[0].bytes, QByteArray("<note><title>A &amp; B</title></note>"));
    EXPECT_EQ(stretches[0].title, QStringLiteral("A & B"));
    EXPECT_EQ(stretches[0].line, 3);
    EXPECT_EQ(stretches[0].column, 1);
    EXPECT_EQ(stretches[0].offset, kHead.size());
    EXPECT_TRUE(stretches[0].hasNoteEnd);
    EXPECT_EQ(stretches[1].bytes, QByteArray("<note lang=\"en\"><title>C</title></note>"));
    EXPECT_EQ(stretches[1].line, 4);
    EXPECT_EQ(stretches[1].column, 3);
    EXPECT_FALSE(stretches[1].endsTheFile);
}

TEST(ENEXNoteSplitter, MarkupInsideSectionsAndCommentsIsText) {
    const auto stretches =
        split(kHead +
              "<!-- <note> --><note><content><![CDATA[<note></note>]]></content></note>"
              "<note-attributes/></en-export>");
    ASSERT_EQ(stretches.size(), 1u);
    EXPECT_EQ(stretches[0].bytes,
              QByteArray("<note><content><![CDATA[<note></note>]]></content></note>"));
}

TEST(ENEXNoteSplitter, NoteWithoutItsEndEndsWhereTheNextNoteOrTheExportEnds) {
    const auto stretches =
        split(kHead + "<note><title>A</title>\n<note><title>B</title></en-export>\n");
    ASSERT_EQ(stretches.size(), 2u);
    EXPECT_EQ(stretches[0].bytes, QByteArray("<note><title>A</title>\n"));
    EXPECT_FALSE(stretches[0].hasNoteEnd);
    EXPECT_EQ(stretches[1].bytes, QByteArray("<note><title>B</title>"));
    EXPECT_FALSE(stretches[1].hasNoteEnd);
    EXPECT_FALSE(stretches[1].endsTheFile);
}

TEST(ENEXNoteSplitter, FileCutInsideANoteEndsItsLastStretch) {
    const auto stretches = split(kHead + "<note><title>A</title></note><note><title>B</tit");
    ASSERT_EQ(stretches.size(), 2u);
    EXPECT_FALSE(stretches[0].endsTheFile);
    EXPECT_TRUE(stretches[1].endsTheFile);
    EXPECT_EQ(stretches[1].bytes, QByteArray("<note><title>B</tit"));
}

TEST(ENEXNoteSplitter, StretchBeyondTheLimitKeepsOnlyItsStartAndTheNextNoteIsFound) {
    const QByteArray big(5000, 'x');
    const auto stretches = split(
        kHead + "<note><title>A</title>" + big + "</note><note><title>B</title></note></en-export>",
        1000);
    ASSERT_EQ(stretches.size(), 2u);
    EXPECT_TRUE(stretches[0].isOversized);
    EXPECT_EQ(stretches[0].bytes.size(), 1000);
    EXPECT_EQ(stretches[0].title, QStringLiteral("A"));
    EXPECT_FALSE(stretches[1].isOversized);
    EXPECT_EQ(stretches[1].title, QStringLiteral("B"));
}

// Markup cut between two reads of the input is still recognised.
TEST(ENEXNoteSplitter, MarkupAcrossChunksIsFound) {
    QByteArray bytes = kHead;
    bytes += QByteArray(ENEXNoteSplitter::kChunkSize - bytes.size() - 3, ' ');
    bytes += "<note><content><![CDATA[x]]></content></note></en-export>";
    const auto stretches = split(bytes);
    ASSERT_EQ(stretches.size(), 1u);
    EXPECT_EQ(stretches[0].bytes, QByteArray("<note><content><![CDATA[x]]></content></note>"));
}
