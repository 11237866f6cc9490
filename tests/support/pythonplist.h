// Python's standard plistlib as an independent reference for property lists:
// tests write plists with it and read ours with it.
#pragma once

#include <QByteArray>
#include <QString>

namespace PythonPlist {

// Runs `python3 -c script` with `input` on its standard input; its standard
// output, or a null array (and `error` set) when it cannot run or fails.
QByteArray run(const QString& script, const QByteArray& input, QString* error);

// The plist bytes of a Python expression (plistlib's names are in scope),
// written as binary or XML.
QByteArray dump(const QString& expression, bool binary, QString* error);

// plistlib's reading of `bytes` as one line of JSON: data as "hex:..",
// dates as "date:<ISO>", UIDs as "uid:<n>"; null when it cannot read them.
QByteArray readAsJson(const QByteArray& bytes, QString* error);

} // namespace PythonPlist
