// The least a durable record of one order can cost on Windows: open test.txt, lock the byte
// the program takes turns on, write the record at the end, flush it to the disk, unlock and
// close, with plain Win32 calls, as recordfile_win.cpp makes them.
//   floor-record COUNT [SIZE]
// starts test.txt in the working directory at SIZE bytes, records COUNT times and prints the
// mean time of one record in microseconds.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>

namespace {

OVERLAPPED at(unsigned long long offset)
{
    OVERLAPPED overlapped = {};
    overlapped.Offset = DWORD(offset & 0xffffffffu);
    overlapped.OffsetHigh = DWORD(offset >> 32);
    return overlapped;
}

HANDLE openLog(const wchar_t *path)
{
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    const long count = std::strtol(argv[1], nullptr, 10);
    const long long size = argc > 2 ? std::strtoll(argv[2], nullptr, 10) : 0;
    const wchar_t *const path = L"test.txt";
    const char record[] = "You order : burger \r\nTotal money is 200\r\nhave to pay 190\r\n";
    const auto length = DWORD(std::strlen(record));
    const unsigned long long turnByte = 1ull << 62;

    HANDLE start = openLog(path);
    LARGE_INTEGER end;
    end.QuadPart = size;
    if (start == INVALID_HANDLE_VALUE || SetFilePointerEx(start, end, nullptr, FILE_BEGIN) == FALSE
        || SetEndOfFile(start) == FALSE || CloseHandle(start) == FALSE) {
        return 1;
    }

    const auto begin = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) {
        HANDLE log = openLog(path);
        OVERLAPPED turn = at(turnByte);
        OVERLAPPED atEnd = at(~0ull);
        DWORD written = 0;
        if (log == INVALID_HANDLE_VALUE
            || LockFileEx(log, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn)
                == FALSE
            || WriteFile(log, record, length, &written, &atEnd) == FALSE || written != length
            || FlushFileBuffers(log) == FALSE || UnlockFileEx(log, 0, 1, 0, &turn) == FALSE
            || CloseHandle(log) == FALSE) {
            return 1;
        }
    }
    const std::chrono::duration<double, std::micro> spent
        = std::chrono::steady_clock::now() - begin;
    std::printf("%.3f\n", spent.count() / double(count));
    return DeleteFileW(path) != FALSE ? 0 : 1;
}
