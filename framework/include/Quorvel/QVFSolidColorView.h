// A plain view that fills itself with one colour (white until told
// otherwise); with no colour (an invalid QColor) it draws nothing, so what
// lies behind shows through. Main thread only.
#pragma once

#include <QColor>
#include <QWidget>

#include "Quorvel/QVFExport.h"

class QUORVEL_EXPORT QVFSolidColorView : public QWidget {
    Q_OBJECT

  public:
    explicit QVFSolidColorView(QWidget* parent = nullptr);

    QColor backgroundColor() const { return backgroundColor_; }
    // Stores the colour and redraws.
    void setBackgroundColor(const QColor& color);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor backgroundColor_ = Qt::white;
};
