// Running worker threads behind progress dialogs: one step is a worker and
// its modal dialog; an operation of several steps stops at the first step
// that did not succeed.
#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class ProgressForm;
class QThread;
class QWidget;

// Starts `worker` with the inherited priority, runs `form` modally and then
// waits for the worker without a time limit. True when the form ended with
// result 1 and was not cancelled.
bool g_runWithProgress(ProgressForm& form, QThread& worker);

struct ProgressStep
{
    QString title;
    bool cancelable = true;
    // Builds the step's worker around the step's dialog; null stops the chain.
    std::function<std::unique_ptr<QThread>(ProgressForm&)> makeWorker;
};

// Runs the steps in order, each behind a dialog of its own with `parent`;
// true when every step succeeded.
bool g_runProgressSteps(const QList<ProgressStep>& steps, QWidget* parent);
