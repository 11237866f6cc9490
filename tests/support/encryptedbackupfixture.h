// Writes an encrypted test backup of either index generation: every file
// record gets a random file key wrapped by a class key of the keybag, its
// stored file is encrypted, and, when the keybag has the "DPIC"/"DPSL" step,
// Manifest.db is encrypted under a manifest key. Manifest.plist carries the
// keybag, the manifest key and IsEncrypted.
#pragma once

#include "backupfixture.h"
#include "keybagfixture.h"

struct EncryptedBackupFixture
{
    // The class that wraps the file keys and the manifest key.
    static const int kFileClass = 3;

    // Encrypts the records of `backup` in place and writes the whole folder.
    // Returns the key of Manifest.db (empty when it is not encrypted), which
    // is written with its padding block, or without one as some tools do.
    static QByteArray write(BackupFixture& backup, const KeybagFixture& keybag, BackupFixtureManifest manifest,
                            bool manifestDbPadding = true);
};
