#include "Quorvel/QVFSolidColorView.h"

#include <QPaintEvent>
#include <QPainter>

QVFSolidColorView::QVFSolidColorView(QWidget* parent) : QWidget(parent) {}

void QVFSolidColorView::setBackgroundColor(const QColor& color) {
    backgroundColor_ = color;
    update();
}

void QVFSolidColorView::paintEvent(QPaintEvent* event) {
    if (!backgroundColor_.isValid()) return;
    QPainter(this).fillRect(event->rect(), backgroundColor_);
}
