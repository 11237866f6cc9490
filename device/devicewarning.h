// Warnings that device code has for the user (a framework that did not load,
// a phone setting in the way of a transfer). Device code shows no window: the
// GUI installs the reporter that does; until then a warning goes to the log.
#pragma once

#include <QString>
#include <functional>

using DeviceWarningReporter = std::function<void(const QString& text)>;

// Replaces the reporter; an empty one brings back the log.
void g_setDeviceWarningReporter(DeviceWarningReporter reporter);
// `text` may hold the simple HTML of message boxes.
void g_deviceWarning(const QString& text);
