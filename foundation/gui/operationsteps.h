// The operation that a window runs now and the step it is at. An error box
// shown meanwhile (a worker's, through its progress dialog, or one the
// window shows for a caught exception) names the step, with the file or
// device it works on, and the error goes into the log with the operation's
// name. GUI thread only.
#pragma once

#include <QString>

class OperationSteps
{
public:
    // Becomes the current operation until it is destroyed; an operation
    // started inside another one is current until it ends.
    explicit OperationSteps(const QString& operation);
    ~OperationSteps();
    OperationSteps(const OperationSteps&) = delete;
    OperationSteps& operator=(const OperationSteps&) = delete;

    // The step that begins now, named with what it works on, such as
    // "Backing up the iPhone "Anna's iPhone"".
    void step(const QString& description);
    // The error box of the current step, after its log line.
    void fail(const QString& error) const;

    const QString& operationName() const { return m_operation; }
    const QString& currentStep() const { return m_step; }

private:
    QString m_operation;
    QString m_step;
    const OperationSteps* m_outer;
};

// The text of an error box: the current step (when an operation runs) and
// the error.
QString g_operationErrorText(const QString& error);
// One warning line in the log: the operation and its step, when one runs,
// and the error as plain text.
void g_logOperationError(const QString& error);
