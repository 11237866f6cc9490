// What every fuzz target shares: the process set up once, the input as a
// byte array without a copy, a scratch folder, and a walk that reads every
// value of a property list through every reader.
#pragma once

#include "cftype.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Once per process: the application object (a GUI one on the offscreen
// platform, for the progress dialogs some readers report to) and
// the CoreFoundation stand-in, loaded from the frameworks folder beside the
// program. Aborts when the stand-in does not load: every input would
// otherwise read as nothing and the run would prove nothing.
void init();

// The input, not copied and not NUL-terminated, so that a read past its end
// is caught.
QByteArray bytes(const uint8_t* data, size_t size);

// The input cut at every kSeparator into `count` pieces: missing pieces are
// empty, the last one keeps the rest. Targets that take several byte strings
// read them this way; seeds join them with kSeparator.
extern const QByteArray kSeparator;
QList<QByteArray> pieces(const QByteArray& input, int count);
QByteArray joined(const QList<QByteArray>& pieces);

// An empty folder of this process, emptied again at each call.
QString scratchFolder();
// The folder that holds the scratch folder: any other entry there was
// written outside the folder a target gave to the code under test.
QString scratchParent();

// Bytes waiting to be read at the descriptor.
int pendingBytes(int fd);

// A socket pair whose far end has sent the input and shut its sending side:
// reads at fd() give the input, then the end of the stream; what is sent to
// fd() is taken up by the far end's buffer.
class InputSocket
{
public:
    InputSocket(const uint8_t* data, size_t size);
    ~InputSocket();
    InputSocket(const InputSocket&) = delete;
    InputSocket& operator=(const InputSocket&) = delete;
    int fd() const { return m_fds[0]; }

private:
    int m_fds[2];
};

// Reads every value below `value` through the reader of its type, down to a
// fixed depth.
void walk(const CFType& value);

} // namespace fuzz

// The entry point each target defines.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
