// The steps that the iTunes backup roads share, each behind its own dialogs:
// picking a backup on the computer or making a fresh one of an attached
// device, unlocking it, caching its message files, reading the cached
// messages, and building the message database and merging it into the
// backup. Every step answers false when it
// did not succeed: a dialog left without success, a cancel, or a failure
// that its progress dialog has shown already.
#pragma once

#include <QDir>
#include <QList>
#include <QSharedPointer>

#include "countryinfo.h"
#include "msgdata.h"

class AbsMessageDb;
class OperationSteps;
class BackupManifest;
class IOSDevice;
class QWidget;

namespace ITunesBackupSteps {

// The backup the user picks in the chooser, unlocked through the password
// dialog when it is encrypted; null when either was left without success.
QSharedPointer<BackupManifest> chooseBackup(QWidget* parent);

// Unlocks an encrypted backup: with the password in `password` when one is
// given and it fits, else through the password dialog, whose accepted
// password then goes to `password`. True at once for a plain backup.
bool unlockBackup(BackupManifest& backup, QWidget* parent, QString* password = nullptr);

// Makes a fresh backup of the attached device with the backup tool behind
// its progress dialog; `root` then names the folder the device backups lie in.
bool backUpDevice(const IOSDevice& device, QWidget* parent, QDir& root);

// The device's backup in `root` with its information read, unlocked with the
// device's backup password or through the dialog (the password accepted then
// kept in `device`); null when the dialog was left. The backup's errors pass
// through as std::exception.
QSharedPointer<BackupManifest> openDeviceBackup(IOSDevice& device, const QDir& root, QWidget* parent);

// Reads the backup's file index and copies its message and address-book
// files into the backup's cache folder, which `cacheDir` then names. The
// index's errors pass through as std::exception.
bool cacheBackup(BackupManifest& backup, QWidget* parent, QDir& cacheDir);
// The same into a given cache folder.
bool cacheBackupInto(BackupManifest& backup, const QDir& cacheDir, QWidget* parent);

// Every message of a cached backup: its sms.db read by the reader of its
// schema with no country, into `data`, which owns the messages as long as
// `db` lives. Throws std::exception for a database that cannot be read.
void readCachedMessages(const QDir& cacheDir, QSharedPointer<AbsMessageDb>& db, MsgData& data);

// Builds the message database from the backup's cached one and `messages`,
// and merges it with the attachment files into the backup. The number of
// messages taken goes to `accepted`. With `steps`, each of the two steps is
// named there as it begins.
bool buildAndMerge(BackupManifest& backup, const QDir& cacheDir, const _CountryInfo& country,
                   const QList<_MsgMessage*>& messages, QWidget* parent, int& accepted,
                   OperationSteps* steps = nullptr);

} // namespace ITunesBackupSteps
