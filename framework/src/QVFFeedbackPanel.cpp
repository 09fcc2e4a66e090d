#include "Quorvel/QVFFeedbackPanel.h"

#include <QMouseEvent>

QVFFeedbackPanel::QVFFeedbackPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
}

void QVFFeedbackPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    grabOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void QVFFeedbackPanel::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    move(event->globalPosition().toPoint() - grabOffset_);
    event->accept();
}

void QVFFeedbackPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}
