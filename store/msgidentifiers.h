// Identifiers the message writers and readers make: random and derived UUID
// texts, the chat identifier of a group, and the archived attributed body
// that ties a one-attachment message to its attachment.
#pragma once

#include <QByteArray>
#include <QString>

// A new random UUID: 36 characters, 8-4-4-4-12, upper-case hexadecimal.
QString genUUID();
// The MD5 of `data` in the shape of a UUID (upper case, 8-4-4-4-12); the same
// bytes always give the same text.
QString hashUUID(const QByteArray& data);
// "chat" followed by 18 decimal digits derived from `seed`.
QString genChatIdentifier(const QString& seed);
// typedstream archive of an NSMutableAttributedString holding U+FFFC with the
// attributes __kIMFileTransferGUIDAttributeName = guid and
// __kIMMessagePartAttributeName = 0.
QByteArray msgAttaAttributeBody(const QString& guid);
