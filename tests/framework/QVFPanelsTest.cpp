#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "Quorvel/QVFFeedbackPanel.h"
#include "Quorvel/QVFFeedbackPanelController.h"
#include "Quorvel/QVFFeedbackPanelControllerDelegate.h"
#include "Quorvel/QVFNewsPanelController.h"
#include "Quorvel/QVFSolidColorView.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestEnvironment.h"

namespace {

class RecordingFeedbackDelegate : public QVFFeedbackPanelControllerDelegate {
  public:
    void feedbackPanelController(QVFFeedbackPanelController* controller,
                                 unsigned response) override {
        responses.push_back(response);
        wasVisible = controller->window()->isVisible();
    }
    std::vector<unsigned> responses;
    bool wasVisible = true;
};

qsizetype starCount(const QVFFeedbackPanelController& controller) {
    return controller.ratingText()->text().count(QVFFeedbackPanelController::star());
}

QPushButton* buttonTitled(QWidget* window, const QString& title) {
    for (auto* button : window->findChildren<QPushButton*>()) {
        if (button->text() == title) return button;
    }
    return nullptr;
}

// Answers every modal alert that opens with the button titled `title`, and
// counts the alerts.
class AlertAnswerer {
  public:
    explicit AlertAnswerer(QString title) : title_(std::move(title)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!alert || !alert->isVisible()) return;
            ++count;
            texts.append(alert->text());
            if (QPushButton* button = buttonTitled(alert, title_))
                button->click();
            else
                alert->reject();
        });
        timer_.start();
    }
    int count = 0;
    QStringList texts;

  private:
    QString title_;
    QTimer timer_;
};

// Receives the URLs the application asks the desktop to open.
class URLRecorder : public QObject {
    Q_OBJECT

  public:
    URLRecorder() {
        QDesktopServices::setUrlHandler("https", this, "openURL");
        QDesktopServices::setUrlHandler("http", this, "openURL");
    }
    ~URLRecorder() override {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("http");
    }
    QList<QUrl> opened;

  public slots:
    void openURL(const QUrl& url) { opened.append(url); }
};

}  // namespace

TEST(QVFFeedbackPanelTest, ShowsFadingInWithStarsCountingToFiveAndAgain) {
    QVFFeedbackPanelController controller;
    EXPECT_EQ(controller.window()->windowOpacity(), 0);
    EXPECT_TRUE(controller.window()->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(controller.window()->windowFlags() & Qt::FramelessWindowHint);

    controller.showWindowForApplicationName("Notes");
    EXPECT_TRUE(controller.window()->isVisible());
    EXPECT_TRUE(
        controller.infoText()->text().startsWith("If you like Notes, please consider rating"));
    EXPECT_TRUE(
        controller.infoText()->text().contains(QString::fromUtf8("Mac\u00A0App\u00A0Store")));
    EXPECT_TRUE(runEventLoopUntil([&] { return controller.window()->windowOpacity() == 1; }, 5000));

    EXPECT_EQ(starCount(controller), 1);
    EXPECT_TRUE(runEventLoopUntil([&] { return starCount(controller) == 2; }, 5000));
    for (int expected : {3, 4, 5, 1, 2}) {
        controller.animateStarRating();
        EXPECT_EQ(starCount(controller), expected);
        EXPECT_EQ(controller.ratingText()->text().size(), 2 * expected);
    }
}

TEST(QVFFeedbackPanelTest, EachAnswerClosesThePanelAndReportsItsResponseOnce) {
    QVFFeedbackPanelController controller;
    RecordingFeedbackDelegate delegate;
    controller.setDelegate(&delegate);
    const std::vector<std::pair<QString, unsigned>> answers = {
        {"Rate Now", 0}, {"Later", 1}, {"No, Thanks", 2}, {"Get Support", 3}};
    for (const auto& [title, response] : answers) {
        controller.showWindowForApplicationName("Notes");
        QPushButton* button = buttonTitled(controller.window(), title);
        ASSERT_NE(button, nullptr) << title.toStdString();
        button->click();
        EXPECT_EQ(delegate.responses.back(), response);
        EXPECT_FALSE(delegate.wasVisible);
        EXPECT_FALSE(controller.starAnimationTimer().isActive());
        EXPECT_EQ(controller.window()->windowOpacity(), 0);
    }
    EXPECT_EQ(delegate.responses.size(), answers.size());
}

TEST(QVFFeedbackPanelTest, AskingAgainWhileVisibleClosesWithLaterInsteadOfShowing) {
    QVFFeedbackPanelController controller;
    RecordingFeedbackDelegate delegate;
    controller.setDelegate(&delegate);
    controller.showWindowForApplicationName("Notes");
    controller.showWindowForApplicationName("Other");
    EXPECT_EQ(delegate.responses, std::vector<unsigned>{QVFFeedbackPanelController::RateLater});
    EXPECT_FALSE(controller.window()->isVisible());
    EXPECT_EQ(controller.applicationName(), "Notes");
}

TEST(QVFFeedbackPanelTest, DraggingTheBackgroundMovesThePanel) {
    QVFFeedbackPanel panel;
    panel.resize(200, 100);
    panel.move(100, 100);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const QPoint start = panel.pos();
    QTest::mousePress(&panel, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(&panel, QPoint(40, 30));
    QTest::mouseRelease(&panel, Qt::LeftButton, {}, QPoint(40, 30));
    EXPECT_EQ(panel.pos(), start + QPoint(30, 20));
}

TEST(QVFNewsPanelTest, FirstRunInvitationShowsOnceWhateverTheAnswer) {
    TestEnvironment env;
    UserDefaults defaults("org.example.NewsTest");
    QVFNewsPanelController news(defaults);
    URLRecorder browser;
    {
        AlertAnswerer cancel("Cancel");
        news.showSubscribePanelIfFirstRun();
        news.showSubscribePanelIfFirstRunForProductCode("NOTES1");
        EXPECT_EQ(cancel.count, 1);
        EXPECT_EQ(cancel.texts, QStringList{"Sign Up for News"});
    }
    EXPECT_TRUE(browser.opened.isEmpty());
    EXPECT_TRUE(defaults.boolForKey(QVFNewsPanelController::subscribeToNewsPanelRunKey()));

    AlertAnswerer subscribe("Subscribe...");
    news.showSubscribePanel();
    news.showSubscribePanelForProductCode("NOTES 1");
    EXPECT_EQ(subscribe.count, 2);
    EXPECT_EQ(browser.opened,
              (QList<QUrl>{QUrl("https://www.quorvel.com/news/subscribe"),
                           QUrl("https://www.quorvel.com/news/subscribe?product=NOTES%201")}));
}

TEST(QVFSolidColorViewTest, FillsWithItsColourAndDrawsNothingWithoutOne) {
    QVFSolidColorView view;
    view.resize(8, 8);
    EXPECT_EQ(view.backgroundColor(), QColor(Qt::white));
    const auto pixelAfterDrawing = [&] {
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(Qt::blue);
        view.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        return image.pixelColor(4, 4);
    };
    EXPECT_EQ(pixelAfterDrawing(), QColor(Qt::white));
    view.setBackgroundColor(QColor(200, 30, 40));
    EXPECT_EQ(pixelAfterDrawing(), QColor(200, 30, 40));
    view.setBackgroundColor(QColor());
    EXPECT_EQ(pixelAfterDrawing(), QColor(Qt::blue));
}

#include "QVFPanelsTest.moc"
