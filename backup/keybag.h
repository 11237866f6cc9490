// The keybag of an encrypted iTunes backup: parsing its records, deriving the
// password key and unwrapping the class keys, which in turn unwrap the keys of
// the stored files and of an encrypted Manifest.db.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The tags of one protection class; the unlock adds "KEY", the unwrapped key.
struct _KeybagPros
{
    QMap<QString, QByteArray> tags;

    // The big-endian number in the first four bytes of the tag's value; 0 for
    // a missing or short tag.
    quint32 getInt32(const QString& tag) const;
};

struct _KeybagInfo
{
    // The keybag's own tags: the first "UUID" and "WRAP", and every tag that
    // belongs to no class ("SALT", "ITER", "DPSL", "DPIC", ...).
    QMap<QString, QByteArray> attributes;
    // The classes by class number.
    QMap<int, _KeybagPros> classKeys;

    // True when at least one class holds an unwrapped key.
    bool hasClassKey() const;
    // Both "DPIC" and "DPSL": a password hashed twice and an encrypted Manifest.db.
    bool hasDoubleProtection() const;
};

// Parses the records up to the end of the data; a record that runs past the
// end stops the parse, keeping what came before.
_KeybagInfo parseKeybag(const QByteArray& data);

// Derives the password key from the passcode and stores "KEY" in every class
// whose "WRAP" has the bit 2 set. False when one of them does not unwrap, or
// when there is something to unwrap but the iteration counts are missing.
// Throws std::runtime_error for an iteration count ("ITER", "DPIC") above
// 100,000,000, ten times what phones use.
bool unlockWithPasscode(const QByteArray& passcode, _KeybagInfo& keybag);

// Unwraps a 40-byte wrapped key with the key of the given class; empty when
// the class or its key is missing, the length is wrong or the unwrap fails.
QByteArray unwrapKeyForClass(const _KeybagInfo& keybag, int classNumber, const QByteArray& wrapped);
