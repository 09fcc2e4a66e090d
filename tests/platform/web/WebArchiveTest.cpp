#include <gtest/gtest.h>

#include "platform/web/WebArchive.h"
#include "platform/web/WebURLResponse.h"
#include "tests/platform/archive/PythonPlist.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace {

WebURLResponse imageResponse() {
    return WebURLResponse(QUrl("https://example.com/a%20b.png"), 200,
                          {{"Content-Type", "image/png"}, {"ETag", "\"x\""}}, "image/png", 4, "");
}

WebArchive sampleArchive() {
    WebResource image("PNG!", QUrl("https://example.com/a%20b.png"), "image/png");
    image.setResponse(imageResponse());
    WebArchive frame(WebResource("<p>frame</p>", QUrl("https://example.com/f.html"), "text/html",
                                 "utf-8", "side"),
                     {});
    return WebArchive(
        WebResource("<img src='a b.png'>", QUrl("https://example.com/"), "text/html", "UTF-8"),
        {image}, {frame});
}

}  // namespace

TEST(WebArchive, WritesTheWebArchivePropertyListAndReadsItBack) {
    const QByteArray data = sampleArchive().data();
    ASSERT_TRUE(data.startsWith("bplist00"));

    auto read = WebArchive::fromData(data);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->mainResource().url(), QUrl("https://example.com/"));
    EXPECT_EQ(read->mainResource().textEncodingName(), "UTF-8");
    EXPECT_EQ(read->mainResource().frameName(), "");
    ASSERT_EQ(read->subresources().size(), 1);
    EXPECT_EQ(read->subresources()[0].data(), "PNG!");
    EXPECT_EQ(read->subresources()[0].url().toString(QUrl::FullyEncoded),
              "https://example.com/a%20b.png");
    ASSERT_EQ(read->subframeArchives().size(), 1u);
    EXPECT_EQ(read->subframeArchives()[0].mainResource().frameName(), "side");

    const auto response = read->subresources()[0].response();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusCode(), 200);
    EXPECT_EQ(response->url(), imageResponse().url());
    EXPECT_EQ(response->allHeaderFields(), imageResponse().allHeaderFields());
    EXPECT_EQ(response->expectedContentLength(), 4);
}

TEST(WebArchive, LeavesEmptyArraysOutAndAlwaysNamesTheMainFrame) {
    const PlistDictionary dictionary =
        WebArchive(WebResource("x", QUrl("file:///tmp/x.html"), "text/html"), {}).dictionary();
    EXPECT_EQ(dictionary.keys(), QStringList{"WebMainResource"});
    const PlistDictionary main = dictionary.value("WebMainResource").toDictionary();
    EXPECT_TRUE(main.contains("WebResourceFrameName"));
    EXPECT_FALSE(main.contains("WebResourceTextEncodingName"));
    EXPECT_FALSE(main.contains("WebResourceResponse"));
}

TEST(WebArchive, ReadsAnArchiveOfOnlyAMainResource) {
    // Neither subresources nor subframes: the reader once walked freed memory here.
    Error error;
    const auto archive =
        WebArchive::fromData(fuzzSeed("webarchive/webarchive_no_subresources.webarchive"), &error);
    ASSERT_TRUE(archive) << error.description().toStdString();
    EXPECT_EQ(archive->mainResource().data(), QByteArray("<p>x</p>"));
    EXPECT_TRUE(archive->subresources().isEmpty());
    EXPECT_TRUE(archive->subframeArchives().empty());
}

TEST(WebArchive, RefusesDataThatIsNoWebArchive) {
    Error error;
    PlistDictionary notAnArchive;
    notAnArchive.set("URL", "https://example.com/");
    EXPECT_FALSE(WebArchive::fromData(
        PlistValue(notAnArchive).serialize(PlistValue::Format::Binary), &error));
    EXPECT_EQ(error.domain(), WebArchive::errorDomain);
    EXPECT_EQ(error.code(), WebArchive::NotAnArchive);

    PlistDictionary badResource;
    PlistDictionary main;
    main.set("WebResourceURL", "no scheme");
    badResource.set("WebMainResource", main);
    EXPECT_FALSE(WebArchive::fromDictionary(badResource, &error));
    EXPECT_EQ(error.code(), WebArchive::InvalidResource);

    // Frames nested without end are refused rather than followed.
    PlistDictionary nested = sampleArchive().dictionary();
    for (int i = 0; i < 100; ++i) {
        PlistDictionary outer = sampleArchive().dictionary();
        outer.set("WebSubframeArchives", PlistArray{nested});
        nested = outer;
    }
    EXPECT_FALSE(WebArchive::fromDictionary(nested, &error));
}

TEST(WebURLResponse, ArchivesUnderRootForTheCacheAndUnderWebResourceResponseForArchives) {
    const WebURLResponse http = imageResponse();
    const WebURLResponse file(QUrl("file:///tmp/x.html"), "text/html", 10, "utf-8");
    for (const WebURLResponse& response : {http, file}) {
        for (const QByteArray& data :
             {response.archivedData(), response.webResourceResponseData()}) {
            auto read = WebURLResponse::fromArchivedData(data);
            ASSERT_TRUE(read);
            EXPECT_EQ(read->url(), response.url());
            EXPECT_EQ(read->statusCode(), response.statusCode());
            EXPECT_EQ(read->mimeType(), response.mimeType());
            EXPECT_EQ(read->textEncodingName(), response.textEncodingName());
        }
    }
    EXPECT_FALSE(WebURLResponse::fromArchivedData("not an archive"));
    EXPECT_EQ(WebURLResponse::localizedStringForStatusCode(404), "not found");
    EXPECT_EQ(WebURLResponse::localizedStringForStatusCode(599), "");
}

TEST(WebArchive, IsReadableByPythonPlistlibWithTheResponseAsAKeyedArchive) {
    SKIP_WITHOUT_PYTHON();
    const QString out = runPlistScript(sampleArchive().data(),
                                       "r = p['WebSubresources'][0]\n"
                                       "a = plistlib.loads(r['WebResourceResponse'])\n"
                                       "o = a['$objects']\n"
                                       "top = o[a['$top']['WebResourceResponse'].data]\n"
                                       "print(sorted(p.keys()))\n"
                                       "print(r['WebResourceURL'], r['WebResourceMIMEType'])\n"
                                       "print(o[top['$class'].data]['$classes'])\n"
                                       "print(top['NS.statusCode'], "
                                       "p['WebSubframeArchives'][0]['WebMainResource']"
                                       "['WebResourceFrameName'])\n");
    EXPECT_EQ(out,
              "['WebMainResource', 'WebSubframeArchives', 'WebSubresources']\n"
              "https://example.com/a%20b.png image/png\n"
              "['NSHTTPURLResponse', 'NSURLResponse', 'NSObject']\n"
              "200 side");
}
