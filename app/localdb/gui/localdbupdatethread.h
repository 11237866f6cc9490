// The start-up worker that migrates the older single-file local databases
// behind a progress dialog that cannot be cancelled. Success asks the user to
// restart; a failure, or an old file that could not be removed afterwards,
// is an error, after which start-up goes on.
#pragma once

#include <QThread>

class ProgressForm;

class LocalDbUpdateThread : public QThread
{
    Q_OBJECT
public:
    explicit LocalDbUpdateThread(ProgressForm& progress, QObject* parent = nullptr);

protected:
    void run() override;

private:
    ProgressForm& progress;
};
