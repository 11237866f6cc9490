#include "progressform.h"

#include "stylesheet.h"
#include "operationsteps.h"
#include "tips.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <utility>

class Ui_ProgressForm
{
public:
    QProgressBar* progressBar;
    QLabel* lbProgress;
    QPushButton* btnCancel;
    QLabel* lbStatus;

    void setupUi(QDialog* dialog)
    {
        dialog->setObjectName(QStringLiteral("ProgressForm"));
        dialog->resize(350, 122);
        progressBar = new QProgressBar(dialog);
        progressBar->setObjectName(QStringLiteral("progressBar"));
        progressBar->setGeometry(20, 40, 321, 23);
        progressBar->setRange(0, 100);
        progressBar->setValue(0);
        progressBar->setTextVisible(true);
        progressBar->setOrientation(Qt::Horizontal);
        progressBar->setTextDirection(QProgressBar::TopToBottom);
        lbProgress = new QLabel(dialog);
        lbProgress->setObjectName(QStringLiteral("lbProgress"));
        lbProgress->setGeometry(25, 70, 281, 20);
        lbProgress->setAlignment(Qt::AlignCenter);
        btnCancel = new QPushButton(dialog);
        btnCancel->setObjectName(QStringLiteral("btnCancel"));
        btnCancel->setGeometry(130, 90, 75, 23);
        // Return must not reach Cancel through the default-button rule.
        btnCancel->setAutoDefault(false);
        lbStatus = new QLabel(dialog);
        lbStatus->setObjectName(QStringLiteral("lbStatus"));
        lbStatus->setGeometry(20, 20, 311, 16);
        dialog->setWindowTitle(ProgressForm::tr("Dialog"));
        btnCancel->setText(ProgressForm::tr("Cancel"));
    }
};

ProgressForm::ProgressForm(const QString& title, QWidget* parent)
    : QDialog(parent)
    , movable(this)
    , ui(new Ui_ProgressForm)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    connect(this, &QDialog::finished, this, &ProgressForm::onFinish);
    connect(ui->btnCancel, &QPushButton::pressed, this, &ProgressForm::cancel);
    setWindowTitle(title);
    ui->lbStatus->setText(title);
}

ProgressForm::~ProgressForm()
{
    delete ui;
}

void ProgressForm::setCancelable(bool cancelable)
{
    ui->btnCancel->setEnabled(cancelable);
}

void ProgressForm::invokeUpdateProgress(const QString& status, int curProgress, const QString& progressText)
{
    QMetaObject::invokeMethod(
        this, [this, status, curProgress, progressText] { updateProgress(status, curProgress, progressText); },
        Qt::AutoConnection);
}

void ProgressForm::invokeErrorOccurred(const QString& err)
{
    QMetaObject::invokeMethod(this, [this, err] { errorOccurred(err); }, Qt::AutoConnection);
}

void ProgressForm::invokeSucceed(const QString& tipsStr)
{
    QMetaObject::invokeMethod(this, [this, tipsStr] { succeed(tipsStr); }, Qt::AutoConnection);
}

void ProgressForm::invokeTipsWait(const QString& info)
{
    waitingTips = true;
    QMetaObject::invokeMethod(this, [this, info] { tipsWait(info); }, Qt::AutoConnection);
}

void ProgressForm::watchWorker(QThread* worker)
{
    connect(worker, &QThread::finished, this, &ProgressForm::workerEnded);
}

bool ProgressForm::waitForThread(QThread& thread)
{
    if (cancelled)
        thread.requestInterruption();
    return thread.wait();
}

// QDialog::exec() shows the dialog and only then starts its loop. Whatever
// the show lets run (a slot on Show, a nested box, anything that processes
// events) may bring the outcome before the loop exists, and a loop started
// on a dialog that has already ended would never end. So the dialog is shown
// first, with any outcome that comes meanwhile held until the show is over
// (the window of a dialog hidden during its own show stays on screen, modal),
// and the loop runs only while no outcome is known.
int ProgressForm::exec()
{
    if (outcomeReported)
        return result(); // ended before it was run
    const bool wasShowModal = testAttribute(Qt::WA_ShowModal);
    setAttribute(Qt::WA_ShowModal, true);
    setResult(0);
    showing = true;
    show();
    showing = false;
    const QList<std::function<void()>> held = std::exchange(heldOutcomes, {});
    for (const std::function<void()>& effect : held)
        effect();
    const int result = outcomeReported ? this->result() : QDialog::exec();
    setAttribute(Qt::WA_ShowModal, wasShowModal);
    return result;
}

void ProgressForm::settle(std::function<void()> effect)
{
    if (showing)
        heldOutcomes.append(std::move(effect));
    else
        effect();
}

// Return, Escape and close requests never end the dialog: only the worker's
// report or the Cancel button do.
void ProgressForm::accept()
{
}

void ProgressForm::reject()
{
}

void ProgressForm::updateProgress(QString status, int curProgress, QString progressText)
{
    if (!status.isEmpty())
        ui->lbStatus->setText(status);
    if (curProgress >= 0)
        ui->progressBar->setValue(curProgress);
    ui->lbProgress->setText(progressText.isEmpty()
                                ? QStringLiteral("Progress:%1%").arg(ui->progressBar->value())
                                : progressText);
}

void ProgressForm::errorOccurred(QString err)
{
    outcomeReported = true;
    settle([this, err] {
        hideWithResult(0);
        // The box names the step the window's operation is at; the log keeps it.
        g_logOperationError(err);
        Tips::error(g_operationErrorText(err));
        done(0);
    });
}

void ProgressForm::succeed(QString tipsStr)
{
    outcomeReported = true;
    settle([this, tipsStr] {
        hideWithResult(1);
        if (!tipsStr.isEmpty())
            Tips::info(tipsStr);
        done(1);
    });
}

// The outcome's box stands alone, centred on the window below, instead of
// over a dialog whose Cancel still answers. The result is set first: hiding
// ends exec() with it once the box has closed.
void ProgressForm::hideWithResult(int result)
{
    setResult(result);
    hide();
}

void ProgressForm::onFinish(int result)
{
    cancelled = result == 0;
}

void ProgressForm::tipsWait(QString info)
{
    Tips::info(info);
    waitingTips = false;
}

void ProgressForm::cancel()
{
    outcomeReported = true;
    settle([this] {
        emit userCacel();
        done(0);
    });
}

void ProgressForm::workerEnded()
{
    if (!outcomeReported)
        errorOccurred(tr("The operation ended without reporting its result."));
}
