#include "exportsmspdf.h"

#include <QCoreApplication>
#include <QDir>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>

#include <stdexcept>

namespace {

// Device units are points, so the layout's lengths are drawn as given.
constexpr int kResolution = 72;
constexpr qreal kMargin = 20;

} // namespace

ExportSMSPdf::ExportSMSPdf(const QString& path)
    : m_file(path)
{
}

ExportSMSPdf::~ExportSMSPdf() = default;

void ExportSMSPdf::init()
{
    m_file.open();
    m_writer = std::make_unique<QPdfWriter>(m_file.device());
    m_writer->setResolution(kResolution);
    m_writer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                        QMarginsF(kMargin, kMargin, kMargin, kMargin), QPageLayout::Point));
    if (!m_layout.reset(m_writer.get())) {
        const QString text = QCoreApplication::translate("ExportSMSPdf", "Can not create %1.")
                                 .arg(QDir::toNativeSeparators(m_file.path()));
        throw std::runtime_error(text.toUtf8().constData());
    }
}

void ExportSMSPdf::write(_MsgMessage& message)
{
    m_layout.print(message);
}

void ExportSMSPdf::uninit()
{
    m_layout.end();
    m_file.commit();
}
