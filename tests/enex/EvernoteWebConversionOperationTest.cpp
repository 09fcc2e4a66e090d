#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "enex/EvernoteWebConversionOperation.h"
#include "enex/EvernoteWebPreferencesExtensions.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/web/WebArchive.h"
#include "platform/web/WebPageLoader.h"
#include "platform/web/WebURLResponse.h"
#include "tests/platform/archive/PythonPlist.h"
#include "tests/platform/web/WebTestServer.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QByteArray kPNG = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray("image-bytes");
const QUrl kClipAddress("https://clips.example/article?id=7");

struct Outcome {
    std::optional<QByteArray> data;
    Error error;
    PlistDictionary archive() const {
        auto plist = data ? PlistValue::fromData(*data) : std::nullopt;
        return plist ? plist->toDictionary() : PlistDictionary();
    }
};

class EvernoteWebConversionTest : public ::testing::Test {
  protected:
    std::shared_ptr<EvernoteWebConversionOperation> makeOperation(const QUrl& url) {
        auto operation = std::make_shared<EvernoteWebConversionOperation>();
        operation->setOriginalWebURL(kClipAddress);
        operation->setOriginalURL(url);
        return operation;
    }

    // Runs the operation as an import does: started and waited for on a
    // worker thread while the main thread's event loop runs. `whileWaiting`
    // runs on the main thread once the worker is blocked.
    Outcome convert(const std::shared_ptr<EvernoteWebConversionOperation>& operation,
                    const std::function<void()>& whileWaiting = {}) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            operation->start();
            operation->waitUntilFinished();
            done = true;
        });
        if (whileWaiting) whileWaiting();
        if (!runEventLoopUntil([&] { return done.load(); }, 20000)) {
            operation->cancel();
            runEventLoopUntil([&] { return done.load(); }, 5000);
            ADD_FAILURE() << "the conversion did not end";
        }
        worker.join();
        return {operation->webArchiveData(), operation->operationError()};
    }

    QStringList subresourceURLs(const PlistDictionary& archive) {
        QStringList out;
        const PlistArray subresources = archive.value("WebSubresources").toArray();
        for (const PlistValue& r : subresources.values())
            out.append(r.toDictionary().value("WebResourceURL").toString());
        return out;
    }

    TestEnvironment environment;
    WebTestServer server;
};

}  // namespace

TEST_F(EvernoteWebConversionTest, ErrorStatusOfTheMainPageEndsWithStatusTextAndNoArchive) {
    WebTestServer::Response unauthorized{401, "text/html", "login first"};
    unauthorized.headers.append(
        qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Basic realm=\"clips\"")));
    server.route("/private", unauthorized);
    server.route("/odd", {599, "text/html", "odd"});
    server.route("/broken", {500, "text/html", "broken"});
    const QList<std::pair<QString, QString>> cases = {{"/missing", "not found"},
                                                      {"/private", "unauthorized"},
                                                      {"/broken", "internal server error"},
                                                      {"/odd", "Code: 599"}};
    for (const auto& [path, text] : cases) {
        const Outcome outcome = convert(makeOperation(server.url(path)));
        EXPECT_FALSE(outcome.data) << path.toStdString();
        EXPECT_EQ(outcome.error.domain(), EvernoteWebConversionOperation::errorDomain);
        EXPECT_EQ(outcome.error.code(), EvernoteWebConversionOperation::HTTPStatusError);
        EXPECT_EQ(outcome.error.localizedDescription(), text);
    }
}

TEST_F(EvernoteWebConversionTest, RedirectedPageIsArchivedAsTheFinalPageWithTheClipAddress) {
    server.redirect("/start", "/final");
    server.page("/final", "<p>the article</p>");
    const Outcome outcome = convert(makeOperation(server.url("/start")));
    ASSERT_TRUE(outcome.data) << outcome.error.description().toStdString();
    EXPECT_TRUE(outcome.data->startsWith("bplist00"));
    const PlistDictionary archive = outcome.archive();
    const PlistDictionary main = archive.value("WebMainResource").toDictionary();
    EXPECT_EQ(main.value("WebResourceURL").toString(), server.url("/final").toString());
    EXPECT_EQ(main.value("WebResourceData").toData(), "<p>the article</p>");
    EXPECT_EQ(archive.value("PelmoraResource").toDictionary().value("PMOriginalWebURL").toString(),
              kClipAddress.toString());
    EXPECT_TRUE(archive.contains("WebSubframeArchives"));
}

TEST_F(EvernoteWebConversionTest, ImagesOnlyAStyleSheetNamesAreAddedOnceWithTheirResponses) {
    server.page(
        "/page.html",
        "<link rel='stylesheet' href='/s.css'><img src='/a.png'><script src='/x.js'></script>");
    server.file("/s.css", "text/css",
                "body { background: url(/bg.png) } p { background: url(/a.png) }");
    server.file("/a.png", "image/png", kPNG);
    server.file("/bg.png", "image/png", kPNG);
    const Outcome outcome = convert(makeOperation(server.url("/page.html")));
    ASSERT_TRUE(outcome.data) << outcome.error.description().toStdString();
    EXPECT_EQ(server.hits("/x.js"), 0);

    const PlistDictionary archive = outcome.archive();
    EXPECT_EQ(subresourceURLs(archive),
              (QStringList{server.url("/s.css").toString(), server.url("/a.png").toString(),
                           server.url("/bg.png").toString()}));
    const PlistDictionary added = archive.value("WebSubresources").toArray().at(2).toDictionary();
    EXPECT_EQ(added.value("WebResourceData").toData(), kPNG);
    EXPECT_EQ(added.value("WebResourceMIMEType").toString(), "image/png");
    // The response reads back as a response, not as the bytes of another archive.
    const auto response =
        WebURLResponse::fromArchivedData(added.value("WebResourceResponse").toData());
    ASSERT_TRUE(response);
    EXPECT_EQ(response->url(), server.url("/bg.png"));
    EXPECT_EQ(response->statusCode(), 200);
    EXPECT_EQ(response->mimeType(), "image/png");
}

TEST_F(EvernoteWebConversionTest, SubframeWithoutNameIsDroppedAndNamedOneKeptAndCompleted) {
    server.page(
        "/page.html",
        "<iframe src='/anonymous.html'></iframe><iframe name='kept' src='/kept.html'></iframe>");
    server.page("/anonymous.html", "anonymous");
    server.page("/kept.html", "<style>@import '/k.css';</style>kept");
    server.file("/k.css", "text/css", "b { background: url(/k.png) }");
    server.file("/k.png", "image/png", kPNG);
    const Outcome outcome = convert(makeOperation(server.url("/page.html")));
    ASSERT_TRUE(outcome.data);
    const PlistArray frames = outcome.archive().value("WebSubframeArchives").toArray();
    ASSERT_EQ(frames.size(), 1);
    const PlistDictionary kept = frames.at(0).toDictionary();
    EXPECT_EQ(kept.value("WebMainResource").toDictionary().value("WebResourceFrameName").toString(),
              "kept");
    EXPECT_EQ(subresourceURLs(kept),
              (QStringList{server.url("/k.css").toString(), server.url("/k.png").toString()}));
    EXPECT_FALSE(kept.contains("PelmoraResource"));  // only the top level records the address
}

TEST_F(EvernoteWebConversionTest, CancelledLoadEndsWithoutDataAndWithoutError) {
    server.stall("/stuck.html");
    auto operation = makeOperation(server.url("/stuck.html"));
    const Outcome outcome = convert(operation, [&] {
        ASSERT_TRUE(runEventLoopUntil([&] { return server.hits("/stuck.html") == 1; }, 5000));
        operation->cancel();
    });
    EXPECT_FALSE(outcome.data);
    EXPECT_FALSE(outcome.error);
    EXPECT_TRUE(operation->isCancelled());

    // Cancelled from another thread, before it ever ran.
    auto early = makeOperation(server.url("/stuck.html"));
    std::thread([&] { early->cancel(); }).join();
    const Outcome never = convert(early);
    EXPECT_FALSE(never.data);
    EXPECT_FALSE(never.error);
    EXPECT_EQ(server.hits("/stuck.html"), 1);
}

TEST_F(EvernoteWebConversionTest, TimeLimitEndsAStalledLoadWithAnError) {
    server.stall("/stuck.html");
    auto operation = makeOperation(server.url("/stuck.html"));
    operation->setTimeLimit(400);
    const Outcome outcome = convert(operation);
    EXPECT_FALSE(outcome.data);
    EXPECT_EQ(outcome.error.domain(), WebPageLoader::errorDomain);
    EXPECT_EQ(outcome.error.code(), WebPageLoader::TimedOut);
}

TEST_F(EvernoteWebConversionTest, LocalClipPageIsArchivedWithItsImagesAndTheClipsWebAddress) {
    environment.writeFile("note/photo.png", kPNG);
    const QString page =
        environment.writeFile("note/note.html", "<h1>Clip</h1><img src='photo.png'>");
    const Outcome outcome = convert(makeOperation(QUrl::fromLocalFile(page)));
    ASSERT_TRUE(outcome.data) << outcome.error.description().toStdString();
    const PlistDictionary archive = outcome.archive();
    EXPECT_EQ(subresourceURLs(archive),
              QStringList{QUrl::fromLocalFile(environment.path("note/photo.png")).toString()});
    EXPECT_EQ(archive.value("PelmoraResource").toDictionary().value("PMOriginalWebURL").toString(),
              kClipAddress.toString());

    SKIP_WITHOUT_PYTHON();
    const QString out = runPlistScript(*outcome.data,
                                       "print(sorted(p.keys()))\n"
                                       "print(p['PelmoraResource']['PMOriginalWebURL'])\n"
                                       "print(p['WebSubresources'][0]['WebResourceMIMEType'])\n");
    EXPECT_EQ(out,
              "['PelmoraResource', 'WebMainResource', 'WebSubframeArchives', 'WebSubresources']\n" +
                  kClipAddress.toString() + "\nimage/png");
}

TEST_F(EvernoteWebConversionTest, MissingLocalFileEndsWithTheLoadError) {
    const Outcome outcome =
        convert(makeOperation(QUrl::fromLocalFile(environment.path("nowhere/note.html"))));
    EXPECT_FALSE(outcome.data);
    EXPECT_EQ(outcome.error.domain(), WebPageLoader::errorDomain);
    EXPECT_EQ(outcome.error.code(), WebPageLoader::FileDoesNotExist);
}

TEST(EvernoteWebPreferences, UserDefaultsOverrideOnlyTheKeysThatAreStored) {
    TestEnvironment environment;
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setObject(PlistValue(20), "EvernoteDownloadWebKitDefaultFontSize");
    defaults.setObject(PlistValue("Georgia"), "EvernoteDownloadWebKitStandardFont");
    defaults.setObject(PlistValue(false), "EvernoteDownloadWebKitPluginsEnabled");
    const WebPreferences defaultsOnly;
    const WebPreferences preferences =
        EvernoteWebPreferencesExtensions::webPreferencesWithIdentifier("EvernoteDownload");
    EXPECT_EQ(preferences.identifier(), "EvernoteDownload");
    EXPECT_EQ(preferences.defaultFontSize(), 20);
    EXPECT_EQ(preferences.standardFontFamily(), "Georgia");
    EXPECT_FALSE(preferences.arePlugInsEnabled());
    EXPECT_EQ(preferences.defaultFixedFontSize(), defaultsOnly.defaultFixedFontSize());
    EXPECT_EQ(preferences.fixedFontFamily(), defaultsOnly.fixedFontFamily());
    EXPECT_EQ(preferences.isJavaScriptEnabled(), defaultsOnly.isJavaScriptEnabled());
}

TEST_F(EvernoteWebConversionTest, IgnoredFailureThatLeavesNothingLoadingStillEndsTheOperation) {
    server.stall("/stuck.html");
    auto operation = makeOperation(server.url("/stuck.html"));
    const Error interrupted(WebPageLoader::errorDomain, WebPageLoader::FrameLoadInterrupted,
                            "Frame load interrupted");
    const Outcome outcome = convert(operation, [&] {
        ASSERT_TRUE(runEventLoopUntil([&] { return server.hits("/stuck.html") == 1; }, 5000));
        // The load ends with a code that is ignored while a load goes on.
        WebPageLoader* loader = operation->offscreenWebView();
        ASSERT_NE(loader, nullptr);
        loader->setDelegate(nullptr);
        loader->stopLoading();
        operation->handleWebViewError(interrupted);
    });
    EXPECT_FALSE(outcome.data);
    EXPECT_EQ(outcome.error.code(), WebPageLoader::FrameLoadInterrupted);
}
