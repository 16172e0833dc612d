#include <QThread>
#include <qt_windows.h>

#include "recordfile_p.h"

const bool LogFile::crLfLineEnds = true;

namespace {

// LogFile keeps the handle as a number, as it keeps a file descriptor on Unix; HANDLE is a
// pointer by its type alone and never followed, so the cast costs no optimization.
HANDLE native(qintptr handle)
{
    return reinterpret_cast<HANDLE>(handle); // NOLINT(performance-no-int-to-ptr)
}

// The one byte that copies of the program lock to take turns, far past the end of any log.
// Windows locks are mandatory: a lock over the log's bytes would refuse them to every reader
// (Notepad, a spreadsheet, the shop's backup) while a record is written, so, as SQLite does,
// the lock covers no data.
constexpr quint64 turnByte = quint64(1) << 62;

OVERLAPPED at(quint64 offset)
{
    OVERLAPPED overlapped = {};
    overlapped.Offset = DWORD(offset & 0xffffffffu);
    overlapped.OffsetHigh = DWORD(offset >> 32);
    return overlapped;
}

// A read-only file or a folder refuses writing for good; anything else that denies access
// may be another program holding the file for a moment.
bool refusesWriting(const wchar_t *path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES
        && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

HANDLE createLog(const wchar_t *path, DWORD access)
{
    // Opens the log or makes it; through a link, the file that the link points to.
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

LogFile::~LogFile()
{
    if (m_locked) {
        OVERLAPPED turn = at(turnByte);
        UnlockFileEx(native(m_handle), 0, 1, 0, &turn);
    }
    if (native(m_handle) != INVALID_HANDLE_VALUE)
        CloseHandle(native(m_handle));
}

// Virus scanners, search indexers, backup and sync tools open files for a moment, and
// meanwhile opening, reading or writing fails with one of these errors. As SQLite's Windows
// layer does, the call is tried again after pauses that grow 25 ms at a time, here until the
// record's patience is spent, so that a long hold still ends in the box.
bool LogFile::mayRetry(int error)
{
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED
        && error != ERROR_LOCK_VIOLATION) {
        return false;
    }
    if (m_retries == 0)
        m_deadline.setRemainingTime(patienceMilliseconds);
    const qint64 left = m_deadline.remainingTime();
    if (left <= 0)
        return false;
    QThread::msleep(ulong(qMin<qint64>(25 * qint64(++m_retries), left)));
    return true;
}

// No pipe can sit in a folder here, so nothing waits for a reader.
bool LogFile::open(const QString &name)
{
    m_name = name;
    const auto *path = reinterpret_cast<const wchar_t *>(name.utf16());
    for (;;) {
        // A log that may be written but not read is opened for writing alone: GENERIC_WRITE is
        // what the lock and the flush ask for, and enough for the write at the end and the
        // cutting back.
        HANDLE handle = createLog(path, GENERIC_READ | GENERIC_WRITE);
        auto error = int(GetLastError());
        m_readable = handle != INVALID_HANDLE_VALUE;
        if (!m_readable && error == ERROR_ACCESS_DENIED && !refusesWriting(path)) {
            handle = createLog(path, GENERIC_WRITE);
            error = int(GetLastError());
        }
        if (handle != INVALID_HANDLE_VALUE) {
            m_handle = reinterpret_cast<qintptr>(handle);
            break;
        }
        if ((error == ERROR_ACCESS_DENIED && refusesWriting(path)) || !mayRetry(error))
            return fail(error);
    }
    m_regular = GetFileType(native(m_handle)) == FILE_TYPE_DISK;
    // The lock of a pipe or a device shares the deadline of the open.
    if (m_retries == 0)
        m_deadline.setRemainingTime(patienceMilliseconds);
    return true;
}

LogFile::LockResult LogFile::tryLock()
{
    OVERLAPPED turn = at(turnByte);
    if (LockFileEx(native(m_handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &turn)
        != FALSE) {
        m_locked = true;
        return Locked;
    }
    const auto error = int(GetLastError());
    if (error == ERROR_LOCK_VIOLATION)
        return HeldElsewhere;
    fail(error);
    return LockFailed;
}

qint64 LogFile::size()
{
    LARGE_INTEGER size;
    if (GetFileSizeEx(native(m_handle), &size) == FALSE) {
        fail(int(GetLastError()));
        return -1;
    }
    return size.QuadPart;
}

bool LogFile::endsInLineEnd(qint64 size)
{
    char last = '\n';
    DWORD read = 0;
    // Unread, the last byte counts as mid-line: an empty line is harmless, an order glued onto
    // the last line is not.
    if (!m_readable)
        return false;
    for (;;) {
        OVERLAPPED end = at(quint64(size - 1));
        if (ReadFile(native(m_handle), &last, 1, &read, &end) != FALSE)
            return read == 1 && last == '\n';
        if (!mayRetry(int(GetLastError())))
            return false;
    }
}

bool LogFile::write(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        DWORD written = 0;
        const auto chunk = DWORD(qMin<qsizetype>(bytes.size() - done, 1 << 30));
        // Both offsets all ones write at the end of the file as it is at that moment, as a
        // handle opened for FILE_APPEND_DATA does, so that another program appending without
        // our lock between a seek and the write is not overwritten.
        OVERLAPPED end = at(~quint64(0));
        if (WriteFile(native(m_handle), bytes.constData() + done, chunk, &written,
                      m_regular ? &end : nullptr)
            == FALSE) {
            const auto error = int(GetLastError());
            if (mayRetry(error))
                continue;
            return fail(error);
        }
        if (written == 0)
            return fail(ERROR_WRITE_FAULT);
        done += written;
        m_written = done;
    }
    return true;
}

bool LogFile::sync()
{
    return FlushFileBuffers(native(m_handle)) != FALSE || fail(int(GetLastError()));
}

// NTFS logs the new directory entry with the file's own metadata, which the flush of the
// file has already committed.
bool LogFile::syncDirectory()
{
    return true;
}

bool LogFile::truncate(qint64 size)
{
    LARGE_INTEGER end;
    end.QuadPart = size;
    return (SetFilePointerEx(native(m_handle), end, nullptr, FILE_BEGIN) != FALSE
            && SetEndOfFile(native(m_handle)) != FALSE)
        || fail(int(GetLastError()));
}
