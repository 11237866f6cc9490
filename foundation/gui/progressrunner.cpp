#include "progressrunner.h"

#include "progressform.h"

#include <QThread>

bool g_runWithProgress(ProgressForm& form, QThread& worker)
{
    form.watchWorker(&worker);
    worker.start(QThread::InheritPriority);
    const int result = form.exec();
    worker.wait();
    return result == 1 && !form.cancelled;
}

bool g_runProgressSteps(const QList<ProgressStep>& steps, QWidget* parent)
{
    for (const ProgressStep& step : steps) {
        ProgressForm form(step.title, parent);
        form.setCancelable(step.cancelable);
        const std::unique_ptr<QThread> worker = step.makeWorker(form);
        if (!worker || !g_runWithProgress(form, *worker))
            return false;
    }
    return true;
}
