#include <gtest/gtest.h>

#include "platform/richtext/RTFReader.h"
#include "platform/richtext/RTFWriter.h"
#include "platform/richtext/TextList.h"

TEST(RTFTextWriter, ListTextStartingWithADigitOrASpaceKeepsIt) {
    // Found by fuzzing: a list paragraph's text followed \ilvlN directly, so
    // a leading digit became part of N and a leading space its delimiter.
    for (const QString& line :
         {QStringLiteral("5 apples"), QStringLiteral(" indented"), QStringLiteral("plain")}) {
        // The first paragraph sets the character words, so none stand between
        // the list paragraph's words and its text.
        AttributedString text;
        text.append(QStringLiteral("intro\n"), TextAttributes());
        TextAttributes inList;
        ParagraphStyle style;
        style.textLists = {TextList(QStringLiteral("{decimal}."))};
        inList.paragraphStyle = style;
        text.append(line + QLatin1Char('\n'), inList);
        const QByteArray written = RTFWriter::RTFFromAttributedString(text);
        const auto read = RTFReader::attributedStringFromRTF(written);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->string(), QStringLiteral("intro\n") + line + QLatin1Char('\n'))
            << written.constData();
        EXPECT_EQ(RTFWriter::RTFFromAttributedString(*read), written);
    }
}
