// Answers the alerts that the window program shows (modal ones included,
// which run their own event loop): every shown QMessageBox is recorded with
// its texts and answered by clicking the button with the text given for its
// message, else its escape button, else its reject button, else its default
// one. Main thread only.
#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

class QMessageBox;

class AlertWatcher : public QObject {
    Q_OBJECT
  public:
    struct Alert {
        QString text;
        QString informativeText;
        QStringList buttons;
    };

    AlertWatcher();
    // Answers an alert whose text contains `message` by clicking `button`.
    void answer(const QString& message, const QString& button) { answers_.insert(message, button); }
    // Leaves alerts open (for a test that looks at a window-modal sheet).
    void setAnswering(bool answering) { answering_ = answering; }

    QList<Alert> alerts;
    // The texts of the alerts seen so far.
    QStringList texts() const;

  private:
    void poll();
    void respond(QMessageBox* box);

    QTimer timer_;
    QHash<QString, QString> answers_;
    bool answering_ = true;
};
