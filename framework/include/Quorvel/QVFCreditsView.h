// The About window's credits: a view that scrolls the application's credits
// text upwards, 1 pixel every 0.05 seconds (20 per second), from just below
// its bottom edge until the text's bottom passes its top edge, then again from
// the start. The top 20 pixels fade the text out into white. While stopped the
// view is blank white.
//
// The text is the resource "Credits.rtf" of the application's resource folder,
// or "MAS-Credits.rtf" when that is missing, read once (on the first start)
// through the RTF reader and wrapped at the view's width. Without either the
// view scrolls nothing.
//
// Positions are in the view's own coordinates (y grows downwards): the text's
// top-left corner is textLocation().
//
// Main thread only; the timer runs on the main event loop.
#pragma once

#include <QPointF>
#include <QString>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "Quorvel/QVFExport.h"

class AttributedString;

class QUORVEL_EXPORT QVFCreditsView : public QWidget {
    Q_OBJECT

  public:
    // A view reading its credits from `resourceDirectory` (":" is the
    // program's compiled-in resources).
    explicit QVFCreditsView(QWidget* parent = nullptr,
                            const QString& resourceDirectory = QStringLiteral(":"));

    // Starts scrolling from just below the bottom edge; does nothing while
    // already scrolling. The first start loads the credits text.
    void startAnimation();
    // Ends scrolling and redraws (the view goes blank).
    void stopAnimation();
    bool isAnimating() const { return textTimer_.isActive(); }

    // One timer step: moves the text up by 1 pixel and redraws; once the
    // text's bottom reaches the top edge or beyond, places it below the
    // bottom edge again.
    void incrementTextLocation();

    QPointF textLocation() const { return textLocation_; }
    // The laid-out height of the credits text (0 before it is loaded or
    // when there is none).
    qreal textHeight() const;
    // True once a credits text was found and read.
    bool hasCreditsText() const { return hasCreditsText_; }

    // The credits text from `resourceDirectory`: "Credits.rtf", else
    // "MAS-Credits.rtf"; nullopt (and a log line for an unreadable file) when
    // neither gives a text.
    static std::optional<AttributedString> creditsTextInDirectory(const QString& resourceDirectory);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void loadCreditsText();
    QPointF startLocation() const;

    QString resourceDirectory_;
    QTextDocument creditsText_;
    bool creditsLoaded_ = false;
    bool hasCreditsText_ = false;
    QPointF textLocation_;
    QTimer textTimer_;
};
