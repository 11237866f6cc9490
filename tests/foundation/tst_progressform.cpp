// The progress dialog and the worker protocol: real worker threads behind
// the modal dialog, answered by a ModalWatcher.
#include "localhttpserver.h"
#include "modalwatcher.h"
#include "progressform.h"
#include "progressrunner.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QWindow>

#include <atomic>
#include <functional>
#include <utility>

namespace {
class FnWorker : public QThread
{
public:
    explicit FnWorker(std::function<void()> body) : m_body(std::move(body)) {}

protected:
    void run() override { m_body(); }

private:
    std::function<void()> m_body;
};

QProgressBar* bar(ProgressForm& form) { return form.findChild<QProgressBar*>(QStringLiteral("progressBar")); }
QString label(ProgressForm& form, const char* name) { return form.findChild<QLabel*>(QLatin1String(name))->text(); }
QPushButton* cancelButton(QWidget* form) { return form->findChild<QPushButton*>(QStringLiteral("btnCancel")); }

// A worker's item loop: works until the dialog was cancelled (bounded, so a
// broken cancel fails the test instead of hanging it).
void waitForCancel(ProgressForm& form)
{
    QElapsedTimer timer;
    timer.start();
    while (!form.cancelled && timer.elapsed() < 20000)
        QThread::msleep(2);
}

// Notes, as each message box shows, whether the progress dialog is still
// visible and which window the box centres on.
class BoxShowSpy : public QObject
{
public:
    explicit BoxShowSpy(const QWidget* form) : m_form(form) { qApp->installEventFilter(this); }
    ~BoxShowSpy() override { qApp->removeEventFilter(this); }
    QList<bool> formVisible;
    QList<const QWidget*> parents;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                formVisible.append(m_form->isVisible());
                parents.append(box->parentWidget());
            }
        return false;
    }

private:
    const QWidget* m_form;
};

// Runs an action once from the dialog's Show event: inside exec(), after the
// show began and before the dialog's loop could start, as a slot on Show
// that processes events would.
class AtShow : public QObject
{
public:
    AtShow(QWidget* form, std::function<void()> action) : m_form(form), m_action(std::move(action))
    {
        form->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_form && event->type() == QEvent::Show && m_action)
            std::exchange(m_action, {})();
        return false;
    }

private:
    QWidget* m_form;
    std::function<void()> m_action;
};

const QString kSilentError = QStringLiteral("The operation ended without reporting its result.");
}

class TstProgressForm : public QObject
{
    Q_OBJECT
private slots:
    void construction()
    {
        ProgressForm form(QStringLiteral("Exporting"));
        QCOMPARE(form.objectName(), QStringLiteral("ProgressForm"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Exporting"));
        QCOMPARE(label(form, "lbStatus"), QStringLiteral("Exporting"));
        QCOMPARE(form.size(), QSize(350, 122));
        QCOMPARE(form.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
        QVERIFY(!form.styleSheet().isEmpty());
        QVERIFY(!form.cancelled);
        QVERIFY(cancelButton(&form)->isEnabled());
        form.setCancelable(false);
        QVERIFY(!cancelButton(&form)->isEnabled());
    }

    void updateProgress()
    {
        ProgressForm form(QStringLiteral("Start"));
        form.invokeUpdateProgress(QStringLiteral("Copying"), 40, QString());
        QCOMPARE(label(form, "lbStatus"), QStringLiteral("Copying"));
        QCOMPARE(bar(form)->value(), 40);
        QCOMPARE(label(form, "lbProgress"), QStringLiteral("Progress:40%"));
        // Empty status, negative percentage and empty text keep what was there.
        form.invokeUpdateProgress(QString(), -1, QString());
        QCOMPARE(label(form, "lbStatus"), QStringLiteral("Copying"));
        QCOMPARE(bar(form)->value(), 40);
        QCOMPARE(label(form, "lbProgress"), QStringLiteral("Progress:40%"));
        form.invokeUpdateProgress(QString(), 50, QStringLiteral("3 of 6"));
        QCOMPARE(bar(form)->value(), 50);
        QCOMPARE(label(form, "lbProgress"), QStringLiteral("3 of 6"));
    }

    void keysAndCloseDoNotEndIt()
    {
        ProgressForm form{QString()};
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClick(&form, Qt::Key_Escape);
        QTest::keyClick(&form, Qt::Key_Return);
        form.close();
        QVERIFY(form.isVisible());
    }

    void tipsWait()
    {
        ModalWatcher watcher;
        ProgressForm form{QString()};
        form.invokeTipsWait(QStringLiteral("Unlock the phone"));
        QVERIFY(!form.isWaitingTips());
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().text, QStringLiteral("Unlock the phone"));
    }

    void success_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("boxes");
        QTest::newRow("with a message") << "All done" << 1;
        QTest::newRow("silent success") << "" << 0;
    }
    void success()
    {
        QFETCH(QString, text);
        QFETCH(int, boxes);
        ModalWatcher watcher;
        ProgressForm form(QStringLiteral("Working"));
        FnWorker worker([&form, text] {
            for (int i = 1; i <= 4; ++i)
                form.invokeUpdateProgress(i == 4 ? QStringLiteral("Finishing") : QString(), i * 10, QString());
            form.invokeSucceed(text);
        });
        QVERIFY(g_runWithProgress(form, worker));
        QVERIFY(!form.cancelled);
        QCOMPARE(bar(form)->value(), 40);
        QCOMPARE(label(form, "lbStatus"), QStringLiteral("Finishing"));
        QCOMPARE(watcher.shown().size(), boxes);
        if (boxes)
            QCOMPARE(watcher.shown().first().icon, QMessageBox::Information);
    }

    // The success or error box never shows over the dialog and its live
    // Cancel: the dialog is hidden first, and the box centres on the window
    // the dialog came from.
    void outcomeBoxStandsAlone_data()
    {
        QTest::addColumn<bool>("error");
        QTest::newRow("success") << false;
        QTest::newRow("error") << true;
    }
    void outcomeBoxStandsAlone()
    {
        QFETCH(bool, error);
        qputenv("QUILLSPROUT_SERVER", "127.0.0.1:1"); // the error report goes nowhere
        QMainWindow window;
        window.show();
        ModalWatcher watcher;
        ProgressForm form(QStringLiteral("Working"), &window);
        BoxShowSpy spy(&form);
        FnWorker worker([&form, error] {
            if (error)
                form.invokeErrorOccurred(QStringLiteral("Disk full"));
            else
                form.invokeSucceed(QStringLiteral("All done"));
        });
        QCOMPARE(g_runWithProgress(form, worker), !error);
        QCOMPARE(spy.formVisible, QList<bool>{false});
        QCOMPARE(spy.parents.size(), 1);
        QCOMPARE(spy.parents.first(), &window);
        QCOMPARE(form.result(), error ? 0 : 1);
    }

    void errorShowsBoxAndReports()
    {
        LocalHttpServer server;
        qputenv("QUILLSPROUT_SERVER", server.hostPort());
        ModalWatcher watcher;
        ProgressForm form{QString()};
        FnWorker worker([&form] { form.invokeErrorOccurred(QStringLiteral("Disk full")); });
        QVERIFY(!g_runWithProgress(form, worker));
        QVERIFY(form.cancelled);
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Critical);
        QVERIFY(watcher.shown().first().text.contains(QLatin1String("<br/><br/>Disk full<br/><br/>")));
        QVERIFY(server.waitForRequests(1));
        QVERIFY(server.requests().first().body.endsWith("&err=RGlzayBmdWxs"));
    }

    void cancelMidWay()
    {
        ModalWatcher watcher;
        ProgressForm form{QString()};
        QStringList order;
        connect(&form, &ProgressForm::userCacel, this, [&] { order << "userCacel"; });
        connect(&form, &QDialog::finished, this, [&](int result) { order << QString::number(result); });
        std::atomic<int> itemsAfterCancel{0};
        FnWorker worker([&] {
            form.invokeUpdateProgress(QStringLiteral("Copying"), 10, QString());
            waitForCancel(form);
            itemsAfterCancel = form.cancelled ? 0 : 1;
        });
        watcher.onDialog([](QWidget* modal) {
            auto* progress = qobject_cast<ProgressForm*>(modal);
            if (!progress || bar(*progress)->value() != 10)
                return false;
            QTest::mousePress(cancelButton(progress), Qt::LeftButton);
            return true;
        });
        QVERIFY(!g_runWithProgress(form, worker));
        QVERIFY(form.cancelled);
        QCOMPARE(itemsAfterCancel.load(), 0);
        QCOMPARE(order, QStringList({"userCacel", "0"}));
        QVERIFY(watcher.shown().isEmpty());
        // The worker's end, handled late, adds no error box.
        QTest::qWait(20);
        QVERIFY(watcher.shown().isEmpty());
    }

    // A worker that ends without any report closes the dialog with an error.
    void silentWorkerEndsTheDialog()
    {
        ModalWatcher watcher;
        ProgressForm form{QString()};
        FnWorker worker([] {});
        QVERIFY(!g_runWithProgress(form, worker));
        QVERIFY(form.cancelled);
        QCOMPARE(watcher.shown().size(), 1);
        QVERIFY(watcher.shown().first().text.contains(kSilentError));
    }

    // The worker's outcome, alone or with the worker's end, is handled while
    // the dialog is being shown, before its loop starts: the step still ends,
    // with the outcome's result, and leaves no dialog on screen.
    void outcomeBeforeTheLoop_data()
    {
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("workerEnded"); // its end is handled before the loop too
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("box"); // part of the box's text; empty: no box
        QTest::newRow("success, worker ended") << "success" << true << true << "All done";
        QTest::newRow("success, worker still running") << "success" << false << true << "All done";
        QTest::newRow("error, worker ended") << "error" << true << false << "Disk full";
        QTest::newRow("error, worker still running") << "error" << false << false << "Disk full";
        QTest::newRow("cancel, worker ended") << "cancel" << true << false << "";
        QTest::newRow("cancel, worker still running") << "cancel" << false << false << "";
        QTest::newRow("worker ended without a report") << "silent" << true << false << kSilentError;
    }
    void outcomeBeforeTheLoop()
    {
        QFETCH(QString, outcome);
        QFETCH(bool, workerEnded);
        QFETCH(bool, result);
        QFETCH(QString, box);
        ModalWatcher watcher;
        ProgressForm form(QStringLiteral("Working"));
        // The worker reports when let go, then ends when let end.
        QSemaphore go, reported, end;
        FnWorker worker([&] {
            go.acquire();
            if (outcome == QLatin1String("success"))
                form.invokeSucceed(QStringLiteral("All done"));
            else if (outcome == QLatin1String("error"))
                form.invokeErrorOccurred(QStringLiteral("Disk full"));
            reported.release();
            end.acquire();
        });
        AtShow atShow(&form, [&] {
            if (outcome == QLatin1String("cancel"))
                cancelButton(&form)->click();
            go.release();
            reported.acquire();
            if (workerEnded) {
                end.release();
                worker.wait();
            }
            // The report, and the worker's end when it ended, are posted.
            QCoreApplication::sendPostedEvents();
            if (!workerEnded)
                end.release();
        });
        QCOMPARE(g_runWithProgress(form, worker), result);
        QCOMPARE(form.cancelled.load(), !result);
        QCOMPARE(watcher.shown().size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty())
            QVERIFY(watcher.shown().first().text.contains(box));
        // No window of the ended dialog stays on screen, modal over the rest.
        QVERIFY(!form.isVisible());
        QVERIFY(!form.windowHandle() || !form.windowHandle()->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    // A report made in the GUI thread before the dialog runs has ended it:
    // running it returns that result without showing it.
    void reportBeforeExec()
    {
        ProgressForm form{QString()};
        form.invokeSucceed(QString());
        QCOMPARE(form.exec(), 1);
        QVERIFY(!form.isVisible());
        QVERIFY(!form.cancelled);
    }

    void chainStopsAtFirstFailure_data()
    {
        QTest::addColumn<int>("failingStep");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("stepsRun");
        QTest::newRow("all succeed") << -1 << true << 3;
        QTest::newRow("second fails") << 1 << false << 2;
        QTest::newRow("first fails") << 0 << false << 1;
    }
    void chainStopsAtFirstFailure()
    {
        QFETCH(int, failingStep);
        QFETCH(bool, result);
        QFETCH(int, stepsRun);
        ModalWatcher watcher;
        int run = 0;
        QList<ProgressStep> steps;
        for (int i = 0; i < 3; ++i) {
            steps.append({QStringLiteral("Step %1").arg(i), true, [&run, i, failingStep](ProgressForm& form) {
                              ++run;
                              return std::make_unique<FnWorker>([&form, i, failingStep] {
                                  if (i == failingStep)
                                      form.invokeErrorOccurred(QStringLiteral("step failed"));
                                  else
                                      form.invokeSucceed(QString());
                              });
                          }});
        }
        QCOMPARE(g_runProgressSteps(steps, nullptr), result);
        QCOMPARE(run, stepsRun);
        QCOMPARE(watcher.shown().size(), result ? 0 : 1);
    }

    void waitForThread_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("dialog succeeded") << false;
        QTest::newRow("dialog ended with 0: the thread is asked to stop") << true;
    }
    void waitForThread()
    {
        QFETCH(bool, cancelled);
        ProgressForm form{QString()};
        form.cancelled = cancelled;
        // Without cancel the thread ends by itself after a few rounds; with
        // cancel it would run until asked to stop.
        FnWorker worker([cancelled] {
            for (int round = 0; cancelled || round < 20; ++round) {
                if (QThread::currentThread()->isInterruptionRequested())
                    return;
                QThread::msleep(5);
            }
        });
        worker.start();
        QVERIFY(form.waitForThread(worker));
        QVERIFY(worker.isFinished());
    }
};

QTEST_MAIN(TstProgressForm)
#include "tst_progressform.moc"
