// Builders of iOS 5 message databases (sms.db) for tests, made from SQL
// through SqlFixture, never through the code under test: the SMS tables
// (message, msg_group, group_member, msg_pieces), optionally the iMessage
// ("madrid") tables and columns, the blobs the phone stores in them, and one
// sample database with SMS, group, iMessage and MMS cases.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace IOS5SmsFixture {

// Creates an empty sms.db at `path` (folders included). With `madrid` the
// message table has the madrid_ columns and the file holds madrid_chat and
// madrid_attachment.
void create(const QString& path, bool madrid = true);

// A binary property list of the addresses, as madrid_chat.participants holds them.
QByteArray participantsBlob(const QStringList& addresses);
// A madrid_attachmentInfo blob: the guids inside a binary property list.
QByteArray attachmentInfoBlob(const QStringList& guids);
// An SQL literal of the bytes (X'..').
QString blobLiteral(const QByteArray& bytes);

// Guids of the sample's iMessage attachments.
extern const char* const kGuidA1;
extern const char* const kGuidA2;
extern const char* const kGuidA3;

/* Creates the sample database at `path`:
   msg_group 1  one member (212) 555-0123, us                   messages 1 (in), 2 (out)
   msg_group 2  members 2125550150, 212.555.0151, (212) 555-0150 (the first twice),
                                                               messages 3 (from 0151), 4 (out),
                                                               5 MMS from 0150: text "Look ", a SMIL
                                                                 part, IMG_0001.JPG with bytes
                                                                 "JPEGDATA", b.png and c.gif without
   msg_group 3  no member, hash 333                            message 6, date 978307200
   msg_group 4  newest message 999 (missing): not a conversation; its member 5 is passed over
   message 7    group_id 77, no conversation
   madrid_chat 1  ann@example.com, one participant              message 8 (received, names A1 twice)
   madrid_chat 2  room chat900, +12125550150 and Bob@Example.com  message 9 (sent, names A2 and A3),
                                                               message 10 (received from bob)
   madrid_attachment 1..3: A1 /var/mobile/Library/SMS/Attachments/ab/11/A1/IMG_0001.JPG,
   A2 ~/Library/SMS/Attachments/cd/22/A2/a:b|c.png, A3 with no file name. */
void createSample(const QString& path);

} // namespace IOS5SmsFixture
