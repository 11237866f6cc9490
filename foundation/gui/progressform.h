// The modal, frameless progress dialog behind every worker operation, and the
// only channel between a worker thread and the GUI: the worker reports
// through the thread-safe invoke operations and reads `cancelled` before each
// item of work; it never touches the dialog's widgets. Core code sees it as
// its ProgressReporter.
#pragma once

#include "progressreporter.h"
#include "winmovable.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>

class QThread;
class Ui_ProgressForm;

class ProgressForm : public QDialog, public ProgressReporter
{
    Q_OBJECT
public:
    explicit ProgressForm(const QString& title, QWidget* parent = nullptr);
    ~ProgressForm() override;

    // True once the dialog ended with result 0 (Cancel pressed or an error
    // reported); workers stop at their next item when they see it.
    std::atomic<bool> cancelled{false};

    void setCancelable(bool cancelable);

    void reportProgress(const QString& status, int percent, const QString& detail) override
    {
        invokeUpdateProgress(status, percent, detail);
    }
    bool isCancelled() const override { return cancelled; }

    // Callable from any thread: the slot of the same name runs in the GUI
    // thread (at once when called from it).
    void invokeUpdateProgress(const QString& status, int curProgress, const QString& progressText);
    void invokeErrorOccurred(const QString& err);
    void invokeSucceed(const QString& tipsStr);
    void invokeTipsWait(const QString& info);
    bool isWaitingTips() const { return waitingTips; }

    // Ends the dialog with an error when `worker` finishes without having
    // reported success, an error or a cancel, so that a silent worker cannot
    // leave the dialog open for ever.
    void watchWorker(QThread* worker);

    // Waits for `thread` to end. After the dialog ended with result 0 the
    // thread is asked to stop (QThread::requestInterruption) before the wait.
    // A thread is never stopped forcibly, so this returns true once it ended.
    bool waitForThread(QThread& thread);

    // Shows the dialog and runs its loop until the worker's outcome or a
    // cancel ends it. The step ends with the outcome's result whatever the
    // order of the outcome, the worker's end and the start of the loop.
    int exec() override;

    void accept() override;
    void reject() override;

signals:
    // The user pressed Cancel; emitted before the dialog closes.
    void userCacel();

public slots:
    void updateProgress(QString status, int curProgress, QString progressText);
    void errorOccurred(QString err);
    void succeed(QString tipsStr);
    void onFinish(int result);
    void tipsWait(QString info);
    void cancel();

private slots:
    void workerEnded();

private:
    void hideWithResult(int result);
    // Runs an outcome's effect, or holds it until the dialog is fully shown
    // when it comes while the dialog is being shown.
    void settle(std::function<void()> effect);

    std::atomic<bool> waitingTips{false};
    WinMovable movable;
    Ui_ProgressForm* ui;
    // Set by the first success, error or cancel; a worker that ends before
    // one arrived ended silently.
    bool outcomeReported = false;
    bool showing = false;
    QList<std::function<void()>> heldOutcomes;
};
