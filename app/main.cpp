// The program's entry point. There are no command-line options: the
// arguments go to the application object.
#include <QApplication>
#include <QLockFile>

#include "mainwindow.h"
#include "startup.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    StartedApplication started = startApplication(app);
    // Another instance runs on this data folder; its box has been shown.
    if (!started.window)
        return 1;
    std::unique_ptr<MainWindow>& window = started.window;
    // Older single-file local databases become folders; after that the user
    // is asked to restart, and the loop ends at once.
    migrateOlderLocalDatabases(*window);
    const int result = app.exec();
    window.reset();
    return result;
}
