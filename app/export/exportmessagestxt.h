// The plain-text export writer (offered as .txt and as .doc): a block of four
// lines per message (date, "To: " or "From: " with the conversation's name,
// the text, an empty line), UTF-8, lines ending in a line feed.
#pragma once

#include "absformatexport.h"
#include "chatnamecache.h"
#include "datetextformatter.h"
#include "exportfile.h"

#include <QString>

struct _MsgMessage;

class ExportMessagesTxt : public AbsFormatExport<_MsgMessage>
{
public:
    explicit ExportMessagesTxt(const QString& path);

    void init() override;
    void write(_MsgMessage& message) override;
    void uninit() override;

private:
    ExportFile m_file;
    DateTextFormatter m_dates;
    ChatNameCache m_names;
    QString m_block;
};
