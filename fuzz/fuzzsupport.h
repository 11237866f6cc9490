// What every fuzz target shares: the process set up once, the input as a
// byte array without a copy, a scratch folder, and a walk that reads every
// value of a property list through every reader.
#pragma once

#include "cftype.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Once per process: the application object (for the program's folder) and
// the CoreFoundation stand-in, loaded from the frameworks folder beside the
// program. Aborts when the stand-in does not load: every input would
// otherwise read as nothing and the run would prove nothing.
void init();

// The input, not copied and not NUL-terminated, so that a read past its end
// is caught.
QByteArray bytes(const uint8_t* data, size_t size);

// An empty folder of this process, emptied again at each call.
QString scratchFolder();

// Reads every value below `value` through the reader of its type, down to a
// fixed depth.
void walk(const CFType& value);

} // namespace fuzz

// The entry point each target defines.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
