#include "standard_descriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kesta {

void EnsureStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() returns the lowest free descriptor, which is this one: those below are open.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd)
            ::close(opened); // not expected; never leave a stray descriptor
    }
}

} // namespace kesta
