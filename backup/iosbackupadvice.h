// What the user reads when a device backup or restore fails: the backup
// tool's text, replaced by steps to follow for the failures that have known
// remedies, and a closing line pointing at the tutorial (or at a restart of
// the device when no tutorial is offered). Pure functions of the text.
#pragma once

#include <QString>

QString iosbackup_backup_advice(const QString& message, bool tutorial);
QString iosbackup_restore_advice(const QString& message, bool tutorial);
