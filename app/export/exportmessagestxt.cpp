#include "exportmessagestxt.h"

#include "msgrecords.h"

ExportMessagesTxt::ExportMessagesTxt(const QString& path)
    : MessageFileWriter(path, DateTextFormatter::systemShort())
{
}

void ExportMessagesTxt::write(_MsgMessage& message)
{
    m_block.resize(0); // keeps the room of the previous block
    m_block += QLatin1StringView("Date: ");
    m_dates.appendTo(m_block, message.date);
    m_block += message.is_from_me != 0 ? QLatin1StringView("\nTo: ") : QLatin1StringView("\nFrom: ");
    // The line names the conversation, not the message's sender.
    m_block += message.chat ? m_names.displayName(message.chat) : QStringLiteral("Unknown");
    m_block += QLatin1Char('\n');
    m_block += message.summary();
    m_block += QLatin1StringView("\n\n");
    m_file.write(m_block);
}
