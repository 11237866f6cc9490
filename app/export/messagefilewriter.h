// What the text, CSV and HTML writers share: one UTF-8 output file, the
// date text, the conversations' names and a block buffer reused for every
// message. init() opens the file, uninit() puts it in place; a writer
// destroyed without uninit() leaves the path as it was.
#pragma once

#include "absformatexport.h"
#include "chatnamecache.h"
#include "datetextformatter.h"
#include "exportfile.h"

#include <QString>

struct _MsgMessage;

class MessageFileWriter : public AbsFormatExport<_MsgMessage>
{
public:
    void init() override { m_file.open(); }
    void uninit() override { m_file.commit(); }

protected:
    MessageFileWriter(const QString& path, const DateTextFormatter& dates)
        : m_file(path)
        , m_dates(dates)
    {
    }

    ExportFile m_file;
    DateTextFormatter m_dates;
    ChatNameCache m_names;
    QString m_block; // the text of one message, keeping its room between messages
};
