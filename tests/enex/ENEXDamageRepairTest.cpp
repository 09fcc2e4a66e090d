#include <gtest/gtest.h>

#include "enex/ENEXDamageRepair.h"

namespace {

QByteArray noteWithContent(const QByteArray& content) {
    return "<note><title>T</title><content>" + content +
           "</content><created>20130730T205204Z"
           "</created></note>";
}

}  // namespace

TEST(ENEXDamageRepair, NestedCDATAOfOldExportsBecomesAnEscapedSectionEnd) {
    QByteArray note = noteWithContent("<![CDATA[<en-note>a]]<![CDATA[>]]>b</en-note>]]>");
    EXPECT_TRUE(ENEXDamageRepair::repairNestedCDATA(note));
    EXPECT_EQ(note, noteWithContent("<![CDATA[<en-note>a]]]]><![CDATA[>b</en-note>]]>"));
}

TEST(ENEXDamageRepair, SectionInsideTheContentKeepsItsTextAndTheOuterSectionItsEnd) {
    QByteArray note = noteWithContent("<![CDATA[<en-note><![CDATA[x]]></en-note>]]>");
    EXPECT_TRUE(ENEXDamageRepair::repairNestedCDATA(note));
    EXPECT_EQ(note, noteWithContent("<![CDATA[<en-note><![CDATA[x]]]]><![CDATA[></en-note>]]>"));
}

TEST(ENEXDamageRepair, EachRepairLeavesANoteWithoutItsDamageAsItWas) {
    const QByteArray sound = noteWithContent(
        "<![CDATA[<en-note>a]]]]><![CDATA[>b &amp; &#38; &#x26; &nbsp;</en-note>]]>");
    for (bool (*repair)(QByteArray&) :
         {&ENEXDamageRepair::repairNestedCDATA, &ENEXDamageRepair::repairUnclosedCDATA,
          &ENEXDamageRepair::repairUnescapedAmpersands, &ENEXDamageRepair::repairMissingNoteEnd}) {
        QByteArray note = sound;
        EXPECT_FALSE(repair(note));
        EXPECT_EQ(note, sound);
    }
    QByteArray note = sound;
    EXPECT_TRUE(ENEXDamageRepair::repair(note).isEmpty());
}

TEST(ENEXDamageRepair, UnclosedSectionEndsBeforeTheContentEnds) {
    QByteArray note = noteWithContent("<![CDATA[<en-note>a</en-note>");
    EXPECT_TRUE(ENEXDamageRepair::repairUnclosedCDATA(note));
    EXPECT_EQ(note, noteWithContent("<![CDATA[<en-note>a</en-note>]]>"));
}

TEST(ENEXDamageRepair, BareAmpersandsInTextAreEscapedButNotInSectionsOrReferences) {
    QByteArray note =
        "<note><title>Tom & Jerry &amp; &#1; &x</title><content><![CDATA[a & b]]>"
        "</content><!-- c & d --></note>";
    EXPECT_TRUE(ENEXDamageRepair::repairUnescapedAmpersands(note));
    EXPECT_EQ(note, QByteArray("<note><title>Tom &amp; Jerry &amp; &#1; &amp;x</title><content>"
                               "<![CDATA[a & b]]></content><!-- c & d --></note>"));
}

TEST(ENEXDamageRepair, MissingNoteEndIsAddedAfterTheNote) {
    QByteArray note = "<note><title>T</title>\n  ";
    EXPECT_TRUE(ENEXDamageRepair::repairMissingNoteEnd(note));
    EXPECT_EQ(note, QByteArray("<note><title>T</title></note>"));
}

TEST(ENEXDamageRepair, RepairNamesEveryRepairThatChangedTheNote) {
    QByteArray note =
        "<note><title>A & B</title><content><![CDATA[<en-note>x</en-note>"
        "</content>";
    EXPECT_EQ(ENEXDamageRepair::repair(note),
              (QStringList{QStringLiteral("unclosed CDATA"), QStringLiteral("missing </note>"),
                           QStringLiteral("unescaped &")}));
    EXPECT_EQ(note, QByteArray("<note><title>A &amp; B</title><content><![CDATA[<en-note>x"
                               "</en-note>]]></content></note>"));
}
