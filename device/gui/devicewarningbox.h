// Shows the device warnings as the application's warning boxes.
#pragma once

// Installs the reporter of device warnings that opens a warning box (GUI
// thread). Called once when the application starts.
void g_installDeviceWarningBoxes();
