// The feedback panel's window: borderless, with a transparent background (the
// controller puts a rounded surface on it), floating above the application's
// other windows, and moved by dragging anywhere on its background.
// Main thread only.
#pragma once

#include <QPoint>
#include <QWidget>

#include "Quorvel/QVFExport.h"

class QUORVEL_EXPORT QVFFeedbackPanel : public QWidget {
    Q_OBJECT

  public:
    explicit QVFFeedbackPanel(QWidget* parent = nullptr);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool dragging_ = false;
    QPoint grabOffset_;  // from the window's top-left corner to the pointer
};
