// The HTML export writer: one XHTML 1.0 Transitional page per conversation,
// UTF-8, a block per message (anchor, date, "To: " or "From: " with the
// conversation's name, text), coloured by direction. The page refers to no
// other file.
#pragma once

#include "messagefilewriter.h"

class ExportSMSHtml : public MessageFileWriter
{
public:
    explicit ExportSMSHtml(const QString& path);

    void init() override;
    void write(_MsgMessage& message) override;
    void uninit() override;
};
