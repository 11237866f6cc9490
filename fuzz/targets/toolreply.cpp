// The backup tool's reply frames, read from a pipe that holds the input and
// whose write end is then closed.
#include "fuzzsupport.h"

#include "backup2tool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    int fds[2];
    if (pipe(fds) != 0)
        std::abort();
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    if (size && write(fds[1], data, size) != ssize_t(size))
        std::abort();
    close(fds[1]);
    backup2tool::_PIPE pipe;
    pipe.fd[0] = fds[0];
    pipe.waitMs = 100;
    for (int i = 0; i < 64 && fuzz::pendingBytes(fds[0]) > 0; ++i)
        fuzz::walk(backup2tool::readPipeReponse(pipe));
    close(fds[0]);
    return 0;
}
