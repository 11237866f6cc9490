// The texts of the delete questions: the command's own sentence, then what
// exactly goes, so that the user sees the database, the conversation or the
// number of messages before answering.
#pragma once

#include <QString>

// "<sentence><br/><br/>The database <name> is removed with every message in it."
QString deleteDatabaseQuestion(const QString& sentence, const QString& database);
// The conversation's name, its message count and its database.
QString deleteConversationQuestion(const QString& sentence, const QString& conversation, int messages,
                                   const QString& database);
// The number of selected messages and their database.
QString deleteMessagesQuestion(const QString& sentence, int messages, const QString& database);
