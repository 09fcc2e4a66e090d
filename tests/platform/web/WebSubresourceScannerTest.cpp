#include <gtest/gtest.h>

#include "platform/web/WebSubresourceScanner.h"
#include "tests/support/TestEnvironment.h"

namespace {

using Kind = WebSubresourceScanner::Reference::Kind;

QStringList urls(const QList<WebSubresourceScanner::Reference>& references, Kind kind) {
    QStringList out;
    for (const auto& r : references)
        if (r.kind == kind) out.append(r.url.toString());
    return out;
}

}  // namespace

TEST(WebSubresourceScanner, ReadsSrcsetCandidatesWithCommasInsideURLsAndDescriptors) {
    EXPECT_EQ(WebSubresourceScanner::srcsetURLs("a.png 1x, b.png 2x"),
              (QStringList{"a.png", "b.png"}));
    EXPECT_EQ(WebSubresourceScanner::srcsetURLs(" img,w=1.png 100w,c.png"),
              (QStringList{"img,w=1.png", "c.png"}));
    EXPECT_EQ(WebSubresourceScanner::srcsetURLs("a.png 1x,b.png 2x,"),
              (QStringList{"a.png", "b.png"}));
    EXPECT_EQ(WebSubresourceScanner::srcsetURLs(""), QStringList{});
}

TEST(WebSubresourceScanner, FindsImportsAndURLsInStyleSheetsButNotInCommentsOrStrings) {
    const QString css =
        "@import \"one.css\" screen; @IMPORT url( 'two.css' );\n"
        "/* url(commented.png) */ a::after { content: \"url(quoted.png)\" }\n"
        "div { background: URL(bg.png) } p { background-image: url(\"../up.png\") }\n"
        "i { mask: url(data:image/png;base64,AAAA) } b { background: url(bg.png#x) }\n"
        "u { background: url(x\\).png) }";
    const auto refs = WebSubresourceScanner::scanStyleSheet(css, QUrl("http://h.test/css/s.css"));
    EXPECT_EQ(urls(refs, Kind::StyleSheet),
              (QStringList{"http://h.test/css/one.css", "http://h.test/css/two.css"}));
    EXPECT_EQ(urls(refs, Kind::Resource),
              (QStringList{"http://h.test/css/bg.png", "http://h.test/up.png",
                           "http://h.test/css/x).png"}));
}

TEST(WebSubresourceScanner, ScansPagesWithBaseFramesAndDeclaredCharset) {
    const QByteArray html =
        "<html><head><base href='http://cdn.test/assets/'>"
        "<meta http-equiv='Content-Type' content='text/html; charset=ISO-8859-1'>"
        "<link rel='alternate stylesheet' href='alt.css'><link rel='Shortcut Icon' href='i.ico'>"
        "<style>@import 'st.css'; h1 { background: url(h.png) }</style>"
        "<script src='s.js'></script></head>"
        "<body background='b.png'><noscript><img src='ns.png'></noscript>"
        "<picture><source srcset='p.webp 1x'><img src='javascript:void(0)'></picture>"
        "<input type='image' src='go.png'><a href='link.html'>x</a>"
        "<frame name='top' src='f.html'><iframe src='about:blank'></iframe></body></html>";
    const auto page = WebSubresourceScanner::scanHTML(html, QUrl("http://page.test/dir/p.html"));
    EXPECT_EQ(urls(page.subresources, Kind::Resource),
              (QStringList{"http://cdn.test/assets/i.ico", "http://cdn.test/assets/h.png",
                           "http://cdn.test/assets/b.png", "http://cdn.test/assets/ns.png",
                           "http://cdn.test/assets/p.webp", "http://cdn.test/assets/go.png"}));
    EXPECT_EQ(urls(page.subresources, Kind::StyleSheet),
              QStringList{"http://cdn.test/assets/st.css"});
    ASSERT_EQ(page.frames.size(), 1);
    EXPECT_EQ(page.frames[0].name, "top");
    EXPECT_EQ(page.frames[0].url, QUrl("http://cdn.test/assets/f.html"));
    EXPECT_EQ(page.declaredTextEncoding, "ISO-8859-1");
}
