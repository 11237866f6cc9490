#include "messageservice.h"

bool isMessageService(const QString& service)
{
    return service.compare(QLatin1String("SMS"), Qt::CaseInsensitive) == 0
        || service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}
