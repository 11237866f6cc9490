#include "deletequestion.h"

#include <QCoreApplication>

namespace {

// Names come from folder names and address books: shown as text, never as
// markup.
QString bold(const QString& name)
{
    return QStringLiteral("<b>%1</b>").arg(name.toHtmlEscaped());
}

QString messageCount(int messages)
{
    return messages == 1 ? QCoreApplication::translate("MainWindow", "1 message")
                         : QCoreApplication::translate("MainWindow", "%1 messages").arg(messages);
}

QString withDetail(const QString& sentence, const QString& detail)
{
    return sentence + QStringLiteral("<br/><br/>") + detail;
}

} // namespace

QString deleteDatabaseQuestion(const QString& sentence, const QString& database)
{
    return withDetail(sentence, QCoreApplication::translate("MainWindow", "The database %1 is removed with every "
                                                                          "message in it.")
                                    .arg(bold(database)));
}

QString deleteConversationQuestion(const QString& sentence, const QString& conversation, int messages,
                                   const QString& database)
{
    return withDetail(sentence, QCoreApplication::translate("MainWindow", "The conversation %1 (%2) is removed from "
                                                                          "the database %3.")
                                    .arg(bold(conversation), messageCount(messages), bold(database)));
}

QString deleteMessagesQuestion(const QString& sentence, int messages, const QString& database)
{
    return withDetail(sentence, QCoreApplication::translate("MainWindow", "%1 are removed from the database %2.")
                                    .arg(bold(messageCount(messages)), bold(database)));
}
