// Preloaded into order-recorder: fsync on a folder fails with the error number in
// ORDERING_FOLDER_FSYNC_ERROR, as on a file system that cannot sync folders or a failing disk.

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" int fsync(int fd)
{
    const char *error = std::getenv("ORDERING_FOLDER_FSYNC_ERROR");
    struct stat status = {};
    if (error != nullptr && fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        errno = std::atoi(error);
        return -1;
    }
    return int(syscall(SYS_fsync, fd));
}
