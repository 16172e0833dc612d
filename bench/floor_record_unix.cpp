// The least a durable record of one order can cost: open test.txt for appending, lock it,
// write the record, sync it to the disk and close it, with plain system calls.
//   floor-record COUNT [SIZE]
// starts test.txt in the working directory at SIZE bytes (sparse), records COUNT times and
// prints the mean time of one record in microseconds.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    const long count = std::strtol(argv[1], nullptr, 10);
    const long long size = argc > 2 ? std::strtoll(argv[2], nullptr, 10) : 0;
    const char *const path = "test.txt";
    const char record[] = "You order : burger \nTotal money is 200\nhave to pay 190\n";

    const int start = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (start < 0 || ftruncate(start, off_t(size)) != 0 || close(start) != 0)
        return 1;

    const auto begin = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) {
        const int fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0 || flock(fd, LOCK_EX) != 0
            || write(fd, record, std::strlen(record)) != ssize_t(std::strlen(record))
            || fdatasync(fd) != 0 || close(fd) != 0) {
            return 1;
        }
    }
    const std::chrono::duration<double, std::micro> spent
        = std::chrono::steady_clock::now() - begin;
    std::printf("%.3f\n", spent.count() / double(count));
    return unlink(path) == 0 ? 0 : 1;
}
