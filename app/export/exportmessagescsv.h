// The CSV export writer: a header line "date,send,person,number,content" and
// one record per message, UTF-8, lines ending in a line feed.
#pragma once

#include "messagefilewriter.h"

#include <QHash>
#include <QString>

struct _MsgChat;

// A CSV field: empty stays empty; double quotes are doubled; the field is
// enclosed in double quotes when it holds a line feed, a double quote or a
// comma (a carriage return alone does not enclose it).
QString g_csvFormat(const QString& text);

class ExportMessagesCsv : public MessageFileWriter
{
public:
    explicit ExportMessagesCsv(const QString& path);

    void init() override;
    void write(_MsgMessage& message) override;

private:
    // The person and number columns of a conversation, encoded.
    struct Party
    {
        QString person;
        QString number;
    };
    const Party& party(const _MsgChat* chat);

    QHash<const _MsgChat*, Party> m_parties;
};
