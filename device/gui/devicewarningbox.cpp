#include "devicewarningbox.h"

#include "devicewarning.h"
#include "tips.h"

void g_installDeviceWarningBoxes()
{
    g_setDeviceWarningReporter([](const QString& text) { Tips::warning(text); });
}
