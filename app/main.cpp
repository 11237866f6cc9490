// The program's entry point. There are no command-line options: the
// arguments go to the application object.
#include <QApplication>

#include "mainwindow.h"
#include "startup.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::unique_ptr<MainWindow> window = startApplication(app);
    // Older single-file local databases are left alone until they can be
    // migrated; the window lists the folder databases beside them.
    if (!olderLocalDatabases().isEmpty())
        qInfo("local_databases holds files of the older kind; they are not read");
    const int result = app.exec();
    window.reset();
    return result;
}
