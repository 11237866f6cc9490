// The two services a recovered message or correspondent may have.
#pragma once

#include <QString>

// "SMS" or "iMessage" in any letter case, whole text.
bool isMessageService(const QString& service);
