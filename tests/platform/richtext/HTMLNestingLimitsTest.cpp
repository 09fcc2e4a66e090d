#include <gtest/gtest.h>

#include "platform/richtext/HTMLImporter.h"
#include "platform/richtext/HTMLNestingLimits.h"
#include "platform/xml/XMLDocument.h"

namespace {

// A tree of `levels` elements named `name`, one inside the other, below a
// "body" root, with a text at the bottom.
XMLNode nestedTree(XMLDocument& document, const QString& name, int levels) {
    XMLNode root = document.createElement(QStringLiteral("body"));
    document.setRootElement(root);
    XMLNode node = root;
    for (int i = 0; i < levels; ++i) node = node.addChild(document.createElement(name));
    node.addChild(document.createTextNode(QStringLiteral("deep")));
    return root;
}

}  // namespace

TEST(HTMLNestingLimits, EachKindOfNestingIsAllowedUpToItsLimitAndRefusedBeyond) {
    struct Case {
        const char* name;
        int limit;
        const char* what;
    };
    // The root counts as one element level.
    for (const Case& c : {Case{"div", HTMLNestingLimits::maximumElementDepth - 1, "elements"},
                          Case{"UL", HTMLNestingLimits::maximumListDepth, "lists"},
                          Case{"ol", HTMLNestingLimits::maximumListDepth, "lists"},
                          Case{"table", HTMLNestingLimits::maximumTableDepth, "tables"}}) {
        XMLDocument within;
        Error error;
        EXPECT_TRUE(HTMLNestingLimits::check(
            nestedTree(within, QString::fromLatin1(c.name), c.limit), &error))
            << c.name << ": " << error.description().toStdString();

        XMLDocument beyond;
        EXPECT_FALSE(HTMLNestingLimits::check(
            nestedTree(beyond, QString::fromLatin1(c.name), c.limit + 1), &error))
            << c.name;
        EXPECT_EQ(error.domain(), kHTMLNestingErrorDomain);
        EXPECT_EQ(error.code(), 1);
        EXPECT_EQ(error.localizedDescription(),
                  QStringLiteral("The document nests %1 more than %2 levels deep.")
                      .arg(QLatin1String(c.what))
                      .arg(c.what == QLatin1String("elements") ? c.limit + 1 : c.limit));
    }
}

TEST(HTMLNestingLimits, OnlyNestingCountsNotSiblingsOrClosedLevels) {
    // Many lists and tables side by side, each one level deep, and a deep
    // branch that closes before the next one opens.
    XMLDocument document;
    XMLNode root = document.createElement(QStringLiteral("body"));
    document.setRootElement(root);
    for (int i = 0; i < 2000; ++i) {
        root.addChild(document.createElement(QStringLiteral("table")));
        root.addChild(document.createElement(QStringLiteral("ul")));
    }
    for (int branch = 0; branch < 3; ++branch) {
        XMLNode node = root;
        for (int i = 0; i < HTMLNestingLimits::maximumTableDepth; ++i)
            node = node.addChild(document.createElement(QStringLiteral("table")));
    }
    EXPECT_TRUE(HTMLNestingLimits::check(root));
    EXPECT_TRUE(HTMLNestingLimits::check(XMLNode()));
}

TEST(HTMLNestingLimits, TheHTMLImporterRefusesTenThousandNestedListsWithTheReason) {
    const QByteArray html =
        "<html><body>" + QByteArray("<ul><li>x").repeated(10000) + "</body></html>";
    Error error;
    EXPECT_FALSE(
        HTMLImporter::attributedStringFromHTML(html, QUrl(), WebPreferences(QString()), &error));
    EXPECT_EQ(error.domain(), kHTMLNestingErrorDomain);

    const QByteArray shallow =
        "<html><body>" + QByteArray("<ul><li>x").repeated(30) + "</body></html>";
    const auto text =
        HTMLImporter::attributedStringFromHTML(shallow, QUrl(), WebPreferences(QString()), &error);
    ASSERT_TRUE(text) << error.description().toStdString();
    EXPECT_EQ(text->string().count(u'x'), 30);
}
