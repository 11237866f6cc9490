#include "operationsteps.h"

#include "tips.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextDocumentFragment>

namespace {

const OperationSteps* g_current = nullptr;

// Error texts may hold markup (line breaks, links); the log keeps one line
// of plain text.
QString plainText(const QString& text)
{
    QString plain = QTextDocumentFragment::fromHtml(text).toPlainText();
    plain.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
    return plain.trimmed();
}

} // namespace

OperationSteps::OperationSteps(const QString& operation)
    : m_operation(operation)
    , m_outer(g_current)
{
    g_current = this;
}

OperationSteps::~OperationSteps()
{
    g_current = m_outer;
}

void OperationSteps::step(const QString& description)
{
    m_step = description;
}

namespace {

QString errorText(const OperationSteps* steps, const QString& error)
{
    if (!steps || steps->currentStep().isEmpty())
        return error;
    return QCoreApplication::translate("QObject", "%1 failed:").arg(steps->currentStep().toHtmlEscaped())
        + QStringLiteral("<br/><br/>") + error;
}

void logError(const OperationSteps* steps, const QString& error)
{
    if (!steps) {
        qWarning("Error: %s", qUtf8Printable(plainText(error)));
        return;
    }
    const QString step = steps->currentStep().isEmpty() ? QStringLiteral("a step") : steps->currentStep();
    qWarning("%s: %s failed: %s", qUtf8Printable(steps->operationName()), qUtf8Printable(step),
             qUtf8Printable(plainText(error)));
}

} // namespace

void OperationSteps::fail(const QString& error) const
{
    logError(this, error);
    Tips::error(errorText(this, error));
}

QString g_operationErrorText(const QString& error)
{
    return errorText(g_current, error);
}

void g_logOperationError(const QString& error)
{
    logError(g_current, error);
}
