// A delegate that records every callback of an import run, with the thread it
// came on, and lets the test wait for the run's end.
#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <functional>

#include "import/EvernoteExportOperationDelegate.h"

class RecordingDelegate : public EvernoteExportOperationDelegate {
  public:
    QStringList calls;
    Error error;
    unsigned long announced = 0;
    int exported = 0;
    std::atomic<bool> ended{false};
    bool allOnMainThread = true;
    // Called after each exported record, on the main thread (a test can cancel here).
    std::function<void(int exported)> onRecord;

    void exportOperationDidStart(EvernoteExportOperation*) override {
        record(QStringLiteral("start"));
    }
    void exportOperationWillExportRecordsFromNotebook(EvernoteExportOperation*, unsigned long count,
                                                      const QString& name) override {
        announced += count;
        record(QStringLiteral("notebook %1 %2").arg(name).arg(count));
    }
    void exportOperationWillExportRecordsFromFileAtURL(EvernoteExportOperation*,
                                                       unsigned long count,
                                                       const QUrl& url) override {
        announced = count;
        record(QStringLiteral("file %1 %2").arg(url.fileName()).arg(count));
    }
    void exportOperationDidExportRecord(EvernoteExportOperation*) override {
        ++exported;
        checkThread();
        if (onRecord) onRecord(exported);
    }
    void exportOperationDidEncounterError(EvernoteExportOperation*, const Error& e) override {
        error = e;
        record(QStringLiteral("error %1").arg(e.code()));
        ended = true;
    }
    void exportOperationDidCancel(EvernoteExportOperation*) override {
        record(QStringLiteral("cancel"));
        ended = true;
    }
    void exportOperationDidEnd(EvernoteExportOperation*) override {
        record(QStringLiteral("end"));
        ended = true;
    }

  private:
    void record(const QString& call) {
        calls << call;
        checkThread();
    }
    void checkThread() {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            allOnMainThread = false;
    }
};
