// A worker that copies a file or folder of iTunes data into the folder
// "quillsprout_itunes" of the user's home, after emptying that folder, and
// marks a complete copy of a folder with an empty file "__CopyUWPItunesThread".
// It reports through the progress dialog and cannot be cancelled.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QThread>

class ProgressForm;

class CopyUWPItunesThread : public QThread
{
    Q_OBJECT
public:
    CopyUWPItunesThread(const QString& srcPath, ProgressForm& progress, QObject* parent = nullptr);

    // Where the copy of `path` lies: the copy root joined with the path's file name.
    static QDir uwpItunesSaveDir(const QString& path);
    // Whether `folder` holds the marker of a complete copy.
    static bool isUWPItunesCopied(const QDir& folder);

    // Copies `source` into `target`: a file under its own name (never over
    // something that exists), a folder with its files and subfolders. Hidden
    // entries, special files and links to folders are left out, so a link
    // back into the source cannot make the copy endless. False with `error`
    // set at the first file that cannot be copied.
    bool copyFiles(const QFileInfo& source, QDir target, QString& error);

protected:
    void run() override;

private:
    static QString copyRoot();

    QString m_srcPath;
    ProgressForm* m_progress;
};
