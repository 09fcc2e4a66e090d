#include "Quorvel/QVFFeedbackPanelController.h"

#include <QBitmap>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>

#include "Quorvel/QVFFeedbackPanel.h"
#include "Quorvel/QVFFeedbackPanelControllerDelegate.h"
#include "Quorvel/QVFSolidColorView.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

namespace {

constexpr QSize kPanelSize(380, 190);
constexpr qreal kCornerRadius = 5;
constexpr int kStarIntervalMs = 1000;
constexpr int kFadeInMs = 400;

// The panel's rounded surface: only a rounded rectangle of the view shows.
QBitmap roundedMask(const QSize& size) {
    QBitmap mask(size);
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    painter.drawRoundedRect(QRectF(QPointF(0, 0), size), kCornerRadius, kCornerRadius);
    return mask;
}

}  // namespace

QString QVFFeedbackPanelController::star() { return QStringLiteral("\u2B50\uFE0F"); }

QVFFeedbackPanelController::QVFFeedbackPanelController() {
    panel_ = new QVFFeedbackPanel();
    panel_->setFixedSize(kPanelSize);
    visualEffectView_ = new QVFSolidColorView(panel_);
    visualEffectView_->setBackgroundColor(QColor(246, 246, 246, 240));
    visualEffectView_->setGeometry(QRect(QPoint(), kPanelSize));

    auto* layout = new QVBoxLayout(visualEffectView_);
    ratingText_ = new QLabel(visualEffectView_);
    ratingText_->setAlignment(Qt::AlignHCenter);
    QFont starFont = ratingText_->font();
    starFont.setPointSizeF(starFont.pointSizeF() * 1.6);
    ratingText_->setFont(starFont);
    layout->addWidget(ratingText_);
    infoText_ = new QLabel(visualEffectView_);
    infoText_->setAlignment(Qt::AlignHCenter);
    infoText_->setWordWrap(true);
    layout->addWidget(infoText_, 1);

    auto* buttons = new QHBoxLayout();
    const auto addButton = [&](const char* title, void (QVFFeedbackPanelController::*action)()) {
        auto* button = new QPushButton(localizedString(title), visualEffectView_);
        connect(button, &QPushButton::clicked, this, action);
        buttons->addWidget(button);
        return button;
    };
    addButton("Get Support", &QVFFeedbackPanelController::getSupport);
    buttons->addStretch(1);
    addButton("No, Thanks", &QVFFeedbackPanelController::declineRateApp);
    addButton("Later", &QVFFeedbackPanelController::rateLater);
    addButton("Rate Now", &QVFFeedbackPanelController::rateApp)->setDefault(true);
    layout->addLayout(buttons);

    starAnimationTimer_.setInterval(kStarIntervalMs);
    connect(&starAnimationTimer_, &QTimer::timeout, this,
            &QVFFeedbackPanelController::animateStarRating);
    fadeIn_ = new QPropertyAnimation(panel_, "windowOpacity", this);
    fadeIn_->setDuration(kFadeInMs);
    fadeIn_->setEndValue(1.0);

    windowDidLoad();
}

QVFFeedbackPanelController::~QVFFeedbackPanelController() { delete panel_; }

void QVFFeedbackPanelController::windowDidLoad() {
    updateInfoText();
    visualEffectView_->setMask(roundedMask(visualEffectView_->size()));
    panel_->setWindowOpacity(0);
}

QString QVFFeedbackPanelController::infoTextForApplicationName(const QString& applicationName) {
    return stringWithFormat(
        localizedString("If you like %@, please consider rating the app or leaving a review on the "
                        "Mac\u00A0App\u00A0Store, thanks!"),
        {applicationName});
}

void QVFFeedbackPanelController::updateInfoText() {
    infoText_->setText(infoTextForApplicationName(applicationName_));
}

void QVFFeedbackPanelController::showWindowForApplicationName(const QString& applicationName) {
    if (panel_->isVisible()) {
        closeWindowWithResponse(RateLater);
        return;
    }
    applicationName_ = applicationName;
    updateInfoText();
    showWindow();
}

void QVFFeedbackPanelController::showWindow() {
    ratingText_->setText(star());
    panel_->show();
    panel_->raise();
    fadeIn_->stop();
    fadeIn_->setStartValue(panel_->windowOpacity());
    fadeIn_->start();
    starAnimationTimer_.start();
}

void QVFFeedbackPanelController::animateStarRating() {
    const qsizetype stars = ratingText_->text().count(star());
    ratingText_->setText(stars >= kMaximumStars ? star() : ratingText_->text() + star());
}

void QVFFeedbackPanelController::closeWindowWithResponse(unsigned response) {
    starAnimationTimer_.stop();
    fadeIn_->stop();
    panel_->hide();
    if (delegate_) delegate_->feedbackPanelController(this, response);
    panel_->setWindowOpacity(0);
}
