// The program's entry point. There are no command-line options: the
// arguments go to the application object.
#include <QApplication>

#include "mainwindow.h"
#include "startup.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::unique_ptr<MainWindow> window = startApplication(app);
    // Older single-file local databases become folders; after that the user
    // is asked to restart, and the loop ends at once.
    migrateOlderLocalDatabases(*window);
    const int result = app.exec();
    window.reset();
    return result;
}
