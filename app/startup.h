// The program's start: translation, log file, device frameworks and the main
// window, in that order, before the event loop runs.
#pragma once

#include <QStringList>

#include <memory>

class QApplication;
class QLockFile;
class MainWindow;

struct StartedApplication
{
    // Held until the program ends: one instance per data folder.
    std::unique_ptr<QLockFile> instanceLock;
    // Null when another instance runs on the same data folder.
    std::unique_ptr<MainWindow> window;
};

// Installs the English translation, settles the data folder and takes its
// instance lock (when another instance holds it, a box says so and no
// window is made), installs the log handler, loads the device frameworks (a
// warning when that fails, and the window runs without devices), then
// builds and shows the main window, which the caller keeps until the event
// loop has ended.
StartedApplication startApplication(QApplication& app);

// Local databases of the older single-file kind: the plain files of the
// local-databases folder (folders and hidden files do not count).
QStringList olderLocalDatabases();

// When there are older local databases, migrates them behind a progress
// dialog that cannot be cancelled. After a success the user has been asked to
// restart: the window is closed, and the program ended, once the event loop
// runs, and this returns true. After a failure (shown in its error box) the
// program goes on normally.
bool migrateOlderLocalDatabases(MainWindow& window);
