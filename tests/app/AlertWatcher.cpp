#include "tests/app/AlertWatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

AlertWatcher::AlertWatcher() {
    connect(&timer_, &QTimer::timeout, this, &AlertWatcher::poll);
    timer_.start(10);
}

QStringList AlertWatcher::texts() const {
    QStringList result;
    for (const Alert& alert : alerts) result << alert.text;
    return result;
}

void AlertWatcher::poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        // Marked on the box itself: the next alert may live at the same address.
        if (!box || !box->isVisible() || box->property("alertWatcherSeen").toBool()) continue;
        box->setProperty("alertWatcherSeen", true);
        Alert alert{box->text(), box->informativeText(), {}};
        for (QAbstractButton* button : box->buttons()) alert.buttons << button->text();
        alerts << alert;
        if (answering_) respond(box);
    }
}

void AlertWatcher::respond(QMessageBox* box) {
    // Unless told otherwise, the answer that declines: the escape button, else
    // the reject button, else the default one.
    QAbstractButton* chosen = box->defaultButton();
    for (QAbstractButton* button : box->buttons())
        if (box->buttonRole(button) == QMessageBox::RejectRole) chosen = button;
    if (box->escapeButton()) chosen = box->escapeButton();
    for (auto it = answers_.cbegin(); it != answers_.cend(); ++it) {
        if (!box->text().contains(it.key())) continue;
        for (QAbstractButton* button : box->buttons())
            if (button->text() == it.value()) chosen = button;
    }
    if (!chosen && !box->buttons().isEmpty()) chosen = box->buttons().first();
    QPointer<QMessageBox> guard(box);
    // Clicked from the event loop, not from inside this poll.
    QTimer::singleShot(0, box, [guard, chosen] {
        if (guard && chosen) chosen->click();
    });
}
