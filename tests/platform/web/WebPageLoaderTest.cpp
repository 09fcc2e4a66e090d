#include <gtest/gtest.h>

#include <QDir>

#include "platform/web/WebPageLoader.h"
#include "platform/web/WebPageLoaderDelegate.h"
#include "platform/web/WebURLResponse.h"
#include "tests/platform/web/WebTestServer.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QByteArray kPNG = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray("image-bytes");

// Records what the loader reports and when the main frame is done.
struct LoadRecorder : WebPageLoaderDelegate {
    bool done = false;
    bool finished = false;
    Error error;
    QList<WebURLResponse> responses;
    QStringList failedFrames;

    void didReceiveResponse(WebPageLoader*, const QString&, const WebURLResponse& response,
                            WebFrame*) override {
        responses.append(response);
    }
    void didFinishLoadForFrame(WebPageLoader* loader, WebFrame* frame) override {
        if (frame == loader->mainFrame()) done = finished = true;
    }
    void didFailProvisionalLoad(WebPageLoader* loader, const Error& e, WebFrame* frame) override {
        failed(loader, e, frame);
    }
    void didFailLoad(WebPageLoader* loader, const Error& e, WebFrame* frame) override {
        failed(loader, e, frame);
    }
    void failed(WebPageLoader* loader, const Error& e, WebFrame* frame) {
        if (frame != loader->mainFrame()) {
            failedFrames.append(frame->name());
            return;
        }
        done = true;
        error = e;
    }
};

QStringList urlPaths(const QList<WebResource>& resources) {
    QStringList paths;
    for (const WebResource& r : resources) paths.append(r.url().path());
    return paths;
}

class WebPageLoaderTest : public ::testing::Test {
  protected:
    void load(const QUrl& url, int timeoutMs = 10000) {
        loader.setDelegate(&recorder);
        loader.load(url);
        ASSERT_TRUE(runEventLoopUntil([this] { return recorder.done; }, timeoutMs));
    }

    TestEnvironment environment;
    WebTestServer server;
    WebPageLoader loader;
    LoadRecorder recorder;
};

}  // namespace

TEST_F(WebPageLoaderTest, LoadsWhatThePageAndItsStyleSheetsUseButNeverScripts) {
    server.page("/page.html",
                "<html><head><link rel='stylesheet' href='/s.css'><link rel='icon' href='/fav.ico'>"
                "<script src='/x.js'></script></head><body style='background:url(\"/c.png\")'>"
                "<img src='a.png' srcset='/b.png 2x'><img src='/a.png#again'>"
                "<img src='file:///etc/hostname'></body></html>");
    server.file("/s.css", "text/css", "@import url(/t.css); body { background: url(d.png) }");
    server.file("/t.css", "text/css", "/* url(/ignored.png) */ p { background: url('/e.png') }");
    for (const char* image : {"/a.png", "/b.png", "/c.png", "/d.png", "/e.png", "/fav.ico"})
        server.file(image, "image/png", kPNG);
    server.file("/x.js", "text/javascript", "alert(1)");

    load(server.url("/page.html"));
    ASSERT_TRUE(recorder.finished) << recorder.error.description().toStdString();
    EXPECT_FALSE(loader.isLoading());

    EXPECT_EQ(server.hits("/x.js"), 0);
    EXPECT_EQ(server.hits("/ignored.png"), 0);
    EXPECT_EQ(server.hits("/a.png"), 1);  // a fragment does not make another resource

    WebFrame* frame = loader.mainFrame();
    EXPECT_EQ(urlPaths(frame->subresources()),
              (QStringList{"/s.css", "/fav.ico", "/c.png", "/a.png", "/b.png", "/t.css", "/d.png",
                           "/e.png"}));
    // The page's own archive keeps what the markup names; what only style sheets name is left out.
    const WebArchive archive = frame->webArchive();
    EXPECT_EQ(urlPaths(archive.subresources()),
              (QStringList{"/s.css", "/fav.ico", "/c.png", "/a.png", "/b.png"}));
    EXPECT_EQ(archive.mainResource().mimeType(), "text/html");
    EXPECT_EQ(archive.mainResource().textEncodingName(), "utf-8");

    // Every response is recorded, with what the server said.
    const auto image = frame->subresources()[3].response();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->statusCode(), 200);
    EXPECT_EQ(image->mimeType(), "image/png");
    EXPECT_EQ(image->valueForHeaderField("content-length"), QString::number(kPNG.size()));
    EXPECT_EQ(recorder.responses.size(), 9);
}

TEST_F(WebPageLoaderTest, FollowsRedirectsAndKeepsTheFinalAddress) {
    server.redirect("/old", "/new");
    server.page("/new", "<p>moved here</p>");
    load(server.url("/old"));
    ASSERT_TRUE(recorder.finished);
    const WebResource& main = loader.mainFrame()->mainResource();
    EXPECT_EQ(main.url(), server.url("/new"));
    EXPECT_EQ(main.data(), "<p>moved here</p>");
    ASSERT_EQ(recorder.responses.size(), 1);
    EXPECT_EQ(recorder.responses[0].statusCode(), 200);
}

TEST_F(WebPageLoaderTest, LoadsFramesAsNamedSubframesButNeverItsOwnAncestry) {
    server.page(
        "/page.html",
        "<iframe name='side' src='/side.html'></iframe><iframe src='/plain.html'></iframe>"
        "<iframe name='self' src='/page.html'></iframe><iframe name='gone' src='/none'></iframe>");
    server.page("/side.html",
                "<img src='/side.png'><iframe name='inner' src='/inner.html'></iframe>");
    server.page("/plain.html", "plain");
    server.page("/inner.html", "inner");
    server.file("/side.png", "image/png", kPNG);

    load(server.url("/page.html"));
    ASSERT_TRUE(recorder.finished);
    EXPECT_EQ(server.hits("/page.html"), 1);

    WebFrame* main = loader.mainFrame();
    ASSERT_EQ(main->childFrames().size(), 3);  // a 404 frame still has a document
    WebFrame* side = main->findFrameNamed("side");
    ASSERT_NE(side, nullptr);
    EXPECT_EQ(urlPaths(side->subresources()), QStringList{"/side.png"});
    EXPECT_EQ(main->findFrameNamed("inner"), side->childFrames().value(0));
    EXPECT_EQ(main->findFrameNamed(""), nullptr);

    const WebArchive archive = main->webArchive();
    ASSERT_EQ(archive.subframeArchives().size(), 3u);
    EXPECT_EQ(archive.subframeArchives()[0].mainResource().frameName(), "side");
    EXPECT_EQ(archive.subframeArchives()[0].subframeArchives().size(), 1u);
    EXPECT_EQ(archive.subframeArchives()[1].mainResource().frameName(), "");
}

TEST_F(WebPageLoaderTest, StalledLoadEndsWithTimedOutAndStalledResourceIsLeftOut) {
    server.stall("/stuck.html");
    loader.setTimeout(300);
    load(server.url("/stuck.html"));
    EXPECT_FALSE(recorder.finished);
    EXPECT_EQ(recorder.error.domain(), WebPageLoader::errorDomain);
    EXPECT_EQ(recorder.error.code(), WebPageLoader::TimedOut);

    recorder = LoadRecorder();
    server.page("/page.html", "<img src='/slow.png'><img src='/fast.png'>");
    server.stall("/slow.png");
    server.file("/fast.png", "image/png", kPNG);
    loader.setTimeout(10000);
    loader.setRequestTimeout(300);
    load(server.url("/page.html"));
    ASSERT_TRUE(recorder.finished);
    EXPECT_EQ(urlPaths(loader.mainFrame()->subresources()), QStringList{"/fast.png"});
}

TEST_F(WebPageLoaderTest, StopReportsCancelledOnceAndEndsTheLoad) {
    server.stall("/stuck.html");
    loader.setDelegate(&recorder);
    loader.load(server.url("/stuck.html"));
    ASSERT_TRUE(runEventLoopUntil([this] { return server.hits("/stuck.html") == 1; }, 5000));
    loader.stopLoading();
    EXPECT_TRUE(recorder.done);
    EXPECT_EQ(recorder.error.code(), WebPageLoader::Cancelled);
    EXPECT_FALSE(loader.isLoading());
    recorder.done = false;
    loader.stopLoading();
    runEventLoopUntil([] { return false; }, 200);
    EXPECT_FALSE(recorder.done);
}

TEST_F(WebPageLoaderTest, UnreachableServerFailsTheMainFrame) {
    QTcpServer closed;
    closed.listen(QHostAddress(QHostAddress::LocalHost), 0);
    const quint16 port = closed.serverPort();
    closed.close();
    load(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
    EXPECT_FALSE(recorder.finished);
    EXPECT_EQ(recorder.error.code(), WebPageLoader::CannotConnectToHost);
}

TEST_F(WebPageLoaderTest, LocalPageLoadsFilesFromItsOwnFolderOnly) {
    environment.writeFile("site/img.png", kPNG);
    environment.writeFile("site/parts/deep.png", kPNG);
    environment.writeFile("secret.png", kPNG);
    const QString page = environment.writeFile(
        "site/page.html",
        "<meta charset='windows-1252'><img src='img.png'><img src='parts/deep.png'>"
        "<img src='../secret.png'><img src='" +
            QUrl::fromLocalFile(environment.path("secret.png")).toString().toUtf8() + "'>");
    load(QUrl::fromLocalFile(page));
    ASSERT_TRUE(recorder.finished);
    EXPECT_EQ(urlPaths(loader.mainFrame()->subresources()),
              (QStringList{QDir(environment.path("site/img.png")).absolutePath(),
                           QDir(environment.path("site/parts/deep.png")).absolutePath()}));
    const WebResource& main = loader.mainFrame()->mainResource();
    EXPECT_EQ(main.mimeType(), "text/html");
    EXPECT_EQ(main.textEncodingName(), "windows-1252");
    EXPECT_FALSE(main.response());  // the main resource carries no response
    EXPECT_EQ(loader.mainFrame()->subresources()[0].mimeType(), "image/png");
}
