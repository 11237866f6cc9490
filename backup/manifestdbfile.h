// Reading and updating the Manifest.db index: the SQLite table `Files`, one row per file,
// whose `file` column holds an MBFile keyed archive (enciphered with the
// backup password when the database carries a salt).
#pragma once

#include "mbdbparser.h"

// How the reader spreads its work over the cores: rows are read in batches
// of `rowsPerBatch`, decoded by `workers` threads (0: two fewer than the
// cores, 1 to 6) and entered in row order. The result is the same for any
// shape; tests make it small.
struct ManifestDbReadShape
{
    int rowsPerBatch = 512;
    int workers = 0;
};

// Every row with a domain, keyed by computed stored name, the later row
// winning. `password` empty means the `file` column is read as stored.
// Throws std::runtime_error (the database wrapper's, or a cipher text).
MBDBParser::Index g_readManifestDbIndex(const QString& dbPath, const QString& password,
                                        ManifestDbReadShape shape = ManifestDbReadShape());

// Deletes, updates or inserts the rows of the removed, modified and new
// records, in list order, in one transaction of the database at `dbPath`;
// with a password and a salt the `file` column is enciphered. A failure
// commits nothing. Throws std::runtime_error.
void g_updateManifestDbIndex(const QString& dbPath, const QString& password, const QList<MBDBParser::_MBDBItem>& items);
