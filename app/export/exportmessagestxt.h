// The plain-text export writer (offered as .txt and as .doc): a block of four
// lines per message (date, "To: " or "From: " with the conversation's name,
// the text, an empty line), UTF-8, lines ending in a line feed.
#pragma once

#include "messagefilewriter.h"

class ExportMessagesTxt : public MessageFileWriter
{
public:
    explicit ExportMessagesTxt(const QString& path);

    void write(_MsgMessage& message) override;
};
