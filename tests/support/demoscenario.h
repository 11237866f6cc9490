// What the tests of the demo phones read from the built scenario and from
// the README, so that the two tests and the README can never drift apart.
#pragma once

#include <QString>
#include <QStringList>

namespace demoscenario {

// The password of the encrypted demo backup as the README states it
// ("backup password is `...`"); empty when the README does not say.
QString readmeBackupPassword(const QString& readmePath);

// The ids of the scenario's devices, in the order they attach; empty when
// the scenario cannot be read.
QStringList deviceIds(const QString& scenarioPath);

} // namespace demoscenario
