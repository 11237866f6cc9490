// The device-backup folder: the root under the user's home into which the
// backup tool writes one backup folder per device (named after its unique
// device id), kept between runs so that the next backup only updates it.
#pragma once

#include <QDir>
#include <QString>

class IOSDevice;

// "Documents/__quillsprout_iosbk_temp" in the home folder; not created.
QDir iosbackup_temp_dir();
// Removes the root with everything in it, and the data folder's
// "__quillsprout_iosbk_temp.path" when it is there.
void iosbackup_clear_temp();
// The device's backup folder below `root`.
QDir iosbackup_device_dir(const QDir& root, const IOSDevice& device);
