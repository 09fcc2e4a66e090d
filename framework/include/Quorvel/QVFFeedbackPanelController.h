// The floating invitation to rate the application: a QVFFeedbackPanel with a
// rounded surface, a row of stars that counts 1 to 5 once a second, the
// invitation text and four answers. The answer goes to the delegate, which
// decides what follows (a store page, a support page).
//
// States: hidden (fully transparent) -> shown (fading in, stars counting) ->
// hidden with one response, reported once per showing.
//
// Main thread only; the star timer runs on the main event loop. The
// controller owns its panel; the delegate is not owned and must outlive the
// controller or be reset.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "Quorvel/QVFExport.h"
#include "Quorvel/QVFFeedbackPanel.h"

class QLabel;
class QPropertyAnimation;
class QVFFeedbackPanelControllerDelegate;
class QVFSolidColorView;

class QUORVEL_EXPORT QVFFeedbackPanelController : public QObject {
    Q_OBJECT

  public:
    enum Response : unsigned {
        RateApp = 0,
        RateLater = 1,
        DeclineRateApp = 2,
        GetSupport = 3,
    };

    // The star row: U+2B50 U+FE0F (two UTF-16 units) per star.
    static QString star();
    static constexpr int kMaximumStars = 5;

    // Builds the panel at once, hidden and fully transparent.
    QVFFeedbackPanelController();
    ~QVFFeedbackPanelController() override;

    // Shows the invitation for `applicationName`. When the panel is already
    // visible it is closed with RateLater instead (as if "later" was chosen)
    // and not shown again.
    void showWindowForApplicationName(const QString& applicationName);
    // Shows the panel with the name set before, fading it in, and starts the
    // stars (one now, one more each second).
    void showWindow();
    // Stops the stars, hides the panel, tells the delegate `response` and
    // makes the panel transparent again for the next showing.
    void closeWindowWithResponse(unsigned response);

    // The four answers.
    void rateApp() { closeWindowWithResponse(RateApp); }
    void rateLater() { closeWindowWithResponse(RateLater); }
    void declineRateApp() { closeWindowWithResponse(DeclineRateApp); }
    void getSupport() { closeWindowWithResponse(GetSupport); }

    // One tick of the star timer: one more star, or back to one after five.
    void animateStarRating();
    // Fills the invitation text with the application's name.
    void updateInfoText();

    QString applicationName() const { return applicationName_; }
    void setApplicationName(const QString& name) { applicationName_ = name; }
    QVFFeedbackPanelControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(QVFFeedbackPanelControllerDelegate* delegate) { delegate_ = delegate; }

    QVFFeedbackPanel* window() const { return panel_; }
    QLabel* ratingText() const { return ratingText_; }
    QLabel* infoText() const { return infoText_; }
    QVFSolidColorView* visualEffectView() const { return visualEffectView_; }
    const QTimer& starAnimationTimer() const { return starAnimationTimer_; }

    // The invitation for `applicationName`, localised; the store's name
    // keeps its words together with no-break spaces.
    static QString infoTextForApplicationName(const QString& applicationName);

  private:
    void windowDidLoad();

    QString applicationName_;
    QVFFeedbackPanelControllerDelegate* delegate_ = nullptr;
    QPointer<QVFFeedbackPanel> panel_;
    QVFSolidColorView* visualEffectView_ = nullptr;
    QLabel* ratingText_ = nullptr;
    QLabel* infoText_ = nullptr;
    QTimer starAnimationTimer_;
    QPropertyAnimation* fadeIn_ = nullptr;
};
