#include "exportmessagescsv.h"

#include "msgrecords.h"

QString g_csvFormat(const QString& text)
{
    if (text.isEmpty())
        return text;
    bool enclose = false;
    qsizetype quotes = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            ++quotes;
        enclose |= c == QLatin1Char('\n') || c == QLatin1Char('"') || c == QLatin1Char(',');
    }
    if (!enclose)
        return text;
    QString out;
    out.reserve(text.size() + quotes + 2);
    out.append(QLatin1Char('"'));
    for (const QChar c : text) {
        out.append(c);
        if (c == QLatin1Char('"'))
            out.append(QLatin1Char('"'));
    }
    out.append(QLatin1Char('"'));
    return out;
}

ExportMessagesCsv::ExportMessagesCsv(const QString& path)
    : MessageFileWriter(path, DateTextFormatter(QStringLiteral("yyyy-MM-dd hh:mm:ss"), QLocale::c()))
{
}

void ExportMessagesCsv::init()
{
    MessageFileWriter::init();
    m_file.write(QLatin1StringView("date,send,person,number,content\n"));
}

// A group names the conversation by its identifier in both columns; a
// one-to-one conversation by its correspondent; the sender is not consulted.
const ExportMessagesCsv::Party& ExportMessagesCsv::party(const _MsgChat* chat)
{
    auto it = m_parties.find(chat);
    if (it != m_parties.end())
        return it.value();
    Party p;
    if (chat && chat->isGroup()) {
        p.person = p.number = g_csvFormat(chat->chat_identifier);
    } else if (chat && !chat->handles.isEmpty()) {
        const _MsgHandle* first = *chat->handles.cbegin();
        if (first) {
            p.person = g_csvFormat(first->_ct_name);
            p.number = g_csvFormat(first->id);
        }
    }
    return m_parties.insert(chat, p).value();
}

void ExportMessagesCsv::write(_MsgMessage& message)
{
    const Party& p = party(message.chat);
    m_block.resize(0); // keeps the room of the previous line
    m_dates.appendTo(m_block, message.date);
    m_block += message.is_from_me != 0 ? QLatin1StringView(",1,") : QLatin1StringView(",0,");
    m_block += p.person;
    m_block += QLatin1Char(',');
    m_block += p.number;
    m_block += QLatin1Char(',');
    m_block += g_csvFormat(message.summary());
    m_block += QLatin1Char('\n');
    m_file.write(m_block);
}

