// Where the cached copy of a file that the phone names lies inside a database
// folder's file-relay tree, and the guard that keeps every such path inside
// that tree.
#pragma once

#include "pathguard.h"

#include <QDir>
#include <QString>

// `relative` made absolute inside `dir` by g_pathInside; empty, with a
// warning naming `caller`, when the guard refuses it.
QString localPathInside(const QDir& dir, const QString& relative, const char* caller);
// The same through a guard kept over many names.
QString localPathInside(PathGuard& guard, const QString& relative, const char* caller);

// The cached copy of the phone's file `filename` ("/var/mobile/...",
// "~/..."): one leading "/" goes, a leading "~/" becomes "var/mobile/", the
// characters \ : * ? " < > | LF CR TAB are dropped, and the rest is placed
// inside `fileRelayDir` by localPathInside.
QString deviceFileLocalPath(const QDir& fileRelayDir, const QString& filename, const char* caller);
// The same through a guard over the file-relay tree, for many files.
QString deviceFileLocalPath(PathGuard& fileRelayGuard, const QString& filename, const char* caller);
