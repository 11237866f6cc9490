// How a long operation of a core library reports its progress and learns of a
// cancel without knowing any window: the progress dialog implements it, tests
// and benchmarks pass their own.
#pragma once

#include "cancelled.h"

#include <QString>

class ProgressReporter
{
public:
    virtual ~ProgressReporter() = default;

    // `percent` is 0..100; `detail` is the short text under the bar. An empty
    // status keeps the one shown, a negative percent keeps the bar. Callable
    // from any thread.
    virtual void reportProgress(const QString& status, int percent, const QString& detail) = 0;
    virtual bool isCancelled() const = 0;

    // Called before each item of work: leaves the operation with Cancelled
    // once the user asked to stop.
    void throwIfCancelled() const
    {
        if (isCancelled())
            throw Cancelled();
    }
};
