// The PDF export writer: one A4 file per conversation, drawn with the printed
// page layout (20-point margins), so a PDF page looks like a printed page.
#pragma once

#include "absformatexport.h"
#include "exportfile.h"
#include "smsprinterprivacy.h"

#include <memory>

class QPdfWriter;
struct _MsgMessage;

class ExportSMSPdf : public AbsFormatExport<_MsgMessage>
{
public:
    explicit ExportSMSPdf(const QString& path);
    ~ExportSMSPdf() override;

    void init() override;
    void write(_MsgMessage& message) override;
    void uninit() override;

private:
    // Destroyed in reverse: the layout's painting ends before the writer and
    // the file go.
    ExportFile m_file;
    std::unique_ptr<QPdfWriter> m_writer;
    SMSPrinterPrivacy m_layout;
};
