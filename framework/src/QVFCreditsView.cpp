#include "Quorvel/QVFCreditsView.h"

#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>

#include "platform/foundation/Format.h"
#include "platform/foundation/SystemLog.h"
#include "platform/richtext/AttributedString.h"
#include "platform/richtext/RTFReader.h"

namespace {

// 20 frames a second, one pixel each.
constexpr int kFrameIntervalMs = 50;
constexpr qreal kStepPixels = 1;
// Height of the band at the top where the text fades out.
constexpr int kFadeHeight = 20;

Qt::Alignment qtAlignment(TextAlignment alignment) {
    switch (alignment) {
        case TextAlignment::Right:
            return Qt::AlignRight;
        case TextAlignment::Center:
            return Qt::AlignHCenter;
        case TextAlignment::Justified:
            return Qt::AlignJustify;
        case TextAlignment::Left:
        case TextAlignment::Natural:
            break;
    }
    return Qt::AlignLeft;
}

QTextCharFormat characterFormat(const TextAttributes& attributes) {
    QTextCharFormat format;
    if (attributes.font) format.setFont(attributes.font->toQFont());
    if (attributes.foregroundColor) format.setForeground(*attributes.foregroundColor);
    if (attributes.underline) format.setFontUnderline(true);
    if (attributes.strikethrough) format.setFontStrikeOut(true);
    if (attributes.link) {
        format.setAnchor(true);
        format.setAnchorHref(attributes.link->toString());
    }
    return format;
}

// Lays the rich text out in `document`: one block per paragraph with its
// alignment and spacing, one fragment per attribute run. Attachments have no
// place in scrolling credits and are left out.
void fillDocument(QTextDocument& document, const AttributedString& text) {
    document.clear();
    QTextCursor cursor(&document);
    bool firstParagraph = true;
    for (const TextRange& paragraph : text.paragraphRanges()) {
        const ParagraphStyle style =
            text.attributesAtIndex(paragraph.location).effectiveParagraphStyle();
        QTextBlockFormat blockFormat;
        blockFormat.setAlignment(qtAlignment(style.alignment));
        blockFormat.setTopMargin(style.paragraphSpacingBefore);
        blockFormat.setBottomMargin(style.paragraphSpacing);
        blockFormat.setLeftMargin(style.headIndent);
        blockFormat.setTextIndent(style.firstLineHeadIndent - style.headIndent);
        if (firstParagraph) {
            cursor.setBlockFormat(blockFormat);
            firstParagraph = false;
        } else {
            cursor.insertBlock(blockFormat);
        }
        text.enumerateAttributes(
            paragraph, [&](const TextAttributes& attributes, const TextRange& run, bool&) {
                if (attributes.attachment) return;
                QString piece = text.string().mid(run.location, run.length);
                while (!piece.isEmpty() &&
                       (piece.back() == u'\n' || piece.back() == u'\r' ||
                        piece.back() == QChar(0x2029) || piece.back() == QChar(0x85)))
                    piece.chop(1);
                if (!piece.isEmpty()) cursor.insertText(piece, characterFormat(attributes));
            });
    }
}

}  // namespace

QVFCreditsView::QVFCreditsView(QWidget* parent, const QString& resourceDirectory)
    : QWidget(parent), resourceDirectory_(resourceDirectory) {
    textTimer_.setInterval(kFrameIntervalMs);
    connect(&textTimer_, &QTimer::timeout, this, &QVFCreditsView::incrementTextLocation);
    creditsText_.setDocumentMargin(0);
}

std::optional<AttributedString> QVFCreditsView::creditsTextInDirectory(
    const QString& resourceDirectory) {
    for (const char* name : {"Credits.rtf", "MAS-Credits.rtf"}) {
        QFile file(resourceDirectory + u'/' + QLatin1String(name));
        if (!file.exists()) continue;
        if (!file.open(QIODevice::ReadOnly)) {
            systemLog(stringWithFormat(QStringLiteral("Cannot read credits %@: %@"),
                                       {file.fileName(), file.errorString()}));
            return std::nullopt;
        }
        Error error;
        auto text = RTFReader::attributedStringFromRTF(file.readAll(), nullptr, &error);
        if (!text) {
            systemLog(stringWithFormat(QStringLiteral("Cannot read credits %@: %@"),
                                       {file.fileName(), error}));
        }
        return text;
    }
    return std::nullopt;
}

void QVFCreditsView::loadCreditsText() {
    creditsLoaded_ = true;
    if (auto text = creditsTextInDirectory(resourceDirectory_)) {
        fillDocument(creditsText_, *text);
        hasCreditsText_ = true;
    }
    creditsText_.setTextWidth(width());
}

qreal QVFCreditsView::textHeight() const {
    return hasCreditsText_ ? creditsText_.size().height() : 0;
}

QPointF QVFCreditsView::startLocation() const { return QPointF(0, height()); }

void QVFCreditsView::startAnimation() {
    if (textTimer_.isActive()) return;
    if (!creditsLoaded_) loadCreditsText();
    textLocation_ = startLocation();
    textTimer_.start();
    update();
}

void QVFCreditsView::stopAnimation() {
    textTimer_.stop();
    update();
}

void QVFCreditsView::incrementTextLocation() {
    textLocation_.ry() -= kStepPixels;
    if (textLocation_.y() + textHeight() <= 0) textLocation_ = startLocation();
    update();
}

void QVFCreditsView::resizeEvent(QResizeEvent* event) {
    creditsText_.setTextWidth(width());
    QWidget::resizeEvent(event);
}

void QVFCreditsView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!textTimer_.isActive()) return;

    painter.save();
    painter.translate(textLocation_);
    creditsText_.drawContents(&painter, QRectF(QPointF(0, 0), QSizeF(width(), textHeight())));
    painter.restore();

    QLinearGradient fade(0, 0, 0, kFadeHeight);
    fade.setColorAt(0, QColor(255, 255, 255, 255));
    fade.setColorAt(1, QColor(255, 255, 255, 0));
    painter.fillRect(QRect(0, 0, width(), kFadeHeight), fade);
}
