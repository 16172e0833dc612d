#include "recordfile.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Long enough for another copy's record to reach the disk, short enough for a cashier.
constexpr int lockWaitMilliseconds = 2000;

QString busyMessage()
{
    return QStringLiteral("another copy of the program kept it locked for %1 seconds")
        .arg(lockWaitMilliseconds / 1000);
}

#ifdef Q_OS_WIN
constexpr bool crLfLineEnds = true;

class LogFile
{
public:
    LogFile() = default;
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;
    ~LogFile()
    {
        if (m_locked) {
            OVERLAPPED whole = {};
            UnlockFileEx(m_handle, 0, MAXDWORD, MAXDWORD, &whole);
        }
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }

    bool open(const QString &name)
    {
        const auto *path = reinterpret_cast<const wchar_t *>(name.utf16());
        for (;;) {
            m_handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (m_handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
                m_handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
                m_created = m_handle != INVALID_HANDLE_VALUE;
                if (!m_created && GetLastError() == ERROR_FILE_EXISTS)
                    continue;
            }
            break;
        }
        if (m_handle == INVALID_HANDLE_VALUE)
            return fail();
        m_regular = GetFileType(m_handle) == FILE_TYPE_DISK;
        return true;
    }

    bool lock()
    {
        const QDeadlineTimer deadline(lockWaitMilliseconds);
        for (;;) {
            OVERLAPPED whole = {};
            if (LockFileEx(m_handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                           MAXDWORD, MAXDWORD, &whole)) {
                m_locked = true;
                return true;
            }
            if (GetLastError() != ERROR_LOCK_VIOLATION)
                return fail();
            if (deadline.hasExpired()) {
                m_busy = true;
                return false;
            }
            QThread::msleep(5);
        }
    }

    qint64 size()
    {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(m_handle, &size)) {
            fail();
            return -1;
        }
        return size.QuadPart;
    }

    bool endsInLineEnd(qint64 size) const
    {
        OVERLAPPED at = {};
        at.Offset = DWORD(quint64(size - 1) & 0xffffffffu);
        at.OffsetHigh = DWORD(quint64(size - 1) >> 32);
        char last = '\n';
        DWORD read = 0;
        return !ReadFile(m_handle, &last, 1, &read, &at) || read != 1 || last == '\n';
    }

    bool write(const QByteArray &bytes)
    {
        if (m_regular && !SetFilePointerEx(m_handle, LARGE_INTEGER {}, nullptr, FILE_END))
            return fail();
        for (qsizetype done = 0; done < bytes.size();) {
            DWORD written = 0;
            const auto chunk = DWORD(qMin<qsizetype>(bytes.size() - done, 1 << 30));
            if (!WriteFile(m_handle, bytes.constData() + done, chunk, &written, nullptr))
                return fail();
            if (written == 0)
                return fail(ERROR_WRITE_FAULT);
            done += written;
        }
        return true;
    }

    bool sync() { return FlushFileBuffers(m_handle) || fail(); }

    // NTFS logs the new directory entry with the file's own metadata, which the flush of
    // the file has already committed.
    bool syncDirectory(const QString &) { return true; }

    bool truncate(qint64 size)
    {
        LARGE_INTEGER at;
        at.QuadPart = size;
        return (SetFilePointerEx(m_handle, at, nullptr, FILE_BEGIN) && SetEndOfFile(m_handle))
            || fail();
    }

    bool isRegular() const { return m_regular; }
    bool created() const { return m_created; }
    QString errorString() const { return m_busy ? busyMessage() : qt_error_string(int(m_error)); }

private:
    bool fail(DWORD error = GetLastError())
    {
        m_error = error;
        return false;
    }

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    DWORD m_error = 0;
    bool m_regular = false;
    bool m_created = false;
    bool m_locked = false;
    bool m_busy = false;
};

#else
constexpr bool crLfLineEnds = false;

template<typename Call> int retryOnInterrupt(Call call)
{
    int result = 0;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

// A write past a file-size limit, or into a pipe whose reader has gone, raises a signal
// that ends the process by default. Held back for the write, it fails with an error instead,
// and what it left pending is taken away before the signal mask is put back.
class SignalsAsErrors
{
public:
    SignalsAsErrors()
    {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGPIPE);
        sigaddset(&m_signals, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &m_signals, &m_previous);
    }
    SignalsAsErrors(const SignalsAsErrors &) = delete;
    SignalsAsErrors &operator=(const SignalsAsErrors &) = delete;
    ~SignalsAsErrors()
    {
        sigset_t pending;
        sigpending(&pending);
        for (const int signal : {SIGPIPE, SIGXFSZ}) {
            if (sigismember(&pending, signal) == 1 && sigismember(&m_previous, signal) == 0) {
                sigset_t one;
                sigemptyset(&one);
                sigaddset(&one, signal);
                int taken = 0;
                sigwait(&one, &taken);
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }

private:
    sigset_t m_signals;
    sigset_t m_previous;
};

class LogFile
{
public:
    LogFile() = default;
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;
    ~LogFile()
    {
        // Closing also gives up the lock.
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool open(const QString &name)
    {
        const QByteArray path = QFile::encodeName(name);
        // Non-blocking, so that a pipe without a reader fails at once instead of waiting.
        const int flags = O_APPEND | O_NONBLOCK | O_CLOEXEC;
        for (;;) {
            m_fd = ::open(path.constData(), O_RDWR | flags);
            if (m_fd < 0 && errno == EACCES)
                m_fd = ::open(path.constData(), O_WRONLY | flags);
            if (m_fd < 0 && errno == ENOENT) {
                m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | flags, 0666);
                m_created = m_fd >= 0;
                if (!m_created && errno == EEXIST)
                    continue;
            }
            break;
        }
        if (m_fd < 0)
            return fail();

        struct stat status = {};
        if (fstat(m_fd, &status) != 0)
            return fail();
        m_regular = S_ISREG(status.st_mode);
        if (S_ISFIFO(status.st_mode)) {
            // Opened for reading too, the pipe would count this process as its reader.
            ::close(m_fd);
            m_fd = ::open(path.constData(), O_WRONLY | flags);
            if (m_fd < 0)
                return fail();
        }
        const int statusFlags = fcntl(m_fd, F_GETFL);
        if (statusFlags < 0 || fcntl(m_fd, F_SETFL, statusFlags & ~O_NONBLOCK) < 0)
            return fail();
        return true;
    }

    bool lock()
    {
        const QDeadlineTimer deadline(lockWaitMilliseconds);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                return fail();
            if (deadline.hasExpired()) {
                m_busy = true;
                return false;
            }
            QThread::msleep(5);
        }
        return true;
    }

    qint64 size()
    {
        struct stat status = {};
        if (fstat(m_fd, &status) != 0) {
            fail();
            return -1;
        }
        return status.st_size;
    }

    bool endsInLineEnd(qint64 size) const
    {
        char last = '\n';
        return pread(m_fd, &last, 1, off_t(size - 1)) != 1 || last == '\n';
    }

    bool write(const QByteArray &bytes)
    {
        const SignalsAsErrors signalsAsErrors;
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t written
                = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                return fail();
            if (written == 0)
                return fail(EIO);
            done += written;
        }
        return true;
    }

    bool sync()
    {
#ifdef Q_OS_LINUX
        return retryOnInterrupt([this] { return ::fdatasync(m_fd); }) == 0 || fail();
#else
        return retryOnInterrupt([this] { return ::fsync(m_fd); }) == 0 || fail();
#endif
    }

    bool syncDirectory(const QString &name)
    {
        const QByteArray directory = QFile::encodeName(QFileInfo(name).absolutePath());
        const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return fail();
        const bool synced = retryOnInterrupt([fd] { return ::fsync(fd); }) == 0 || fail();
        ::close(fd);
        return synced;
    }

    bool truncate(qint64 size)
    {
        return retryOnInterrupt([this, size] { return ::ftruncate(m_fd, off_t(size)); }) == 0
            || fail();
    }

    bool isRegular() const
    {
        return m_regular;
    }
    bool created() const
    {
        return m_created;
    }
    QString errorString() const
    {
        return m_busy ? busyMessage() : qt_error_string(m_error);
    }

private:
    bool fail(int error = errno)
    {
        m_error = error;
        return false;
    }

    int m_fd = -1;
    int m_error = 0;
    bool m_regular = false;
    bool m_created = false;
    bool m_busy = false;
};
#endif

} // namespace

RecordOutcome appendRecord(const QString &fileName, const QString &text)
{
    LogFile file;
    if (!file.open(fileName))
        return {RecordOutcome::NotOpened, file.errorString()};
    if (text.isEmpty())
        return {RecordOutcome::Saved, {}};

    QByteArray record = text.toUtf8();
    if (!record.endsWith('\n'))
        record += '\n';

    // A pipe or a device takes the record as it comes: there is nothing to lock, sync or cut.
    if (!file.isRegular()) {
        if (crLfLineEnds)
            record.replace('\n', "\r\n");
        if (file.write(record))
            return {RecordOutcome::Saved, {}};
        return {RecordOutcome::NotSaved, file.errorString()};
    }

    if (!file.lock())
        return {RecordOutcome::NotSaved, file.errorString()};
    const qint64 sizeBefore = file.size();
    if (sizeBefore < 0)
        return {RecordOutcome::NotSaved, file.errorString()};
    // A log that ends mid-line keeps its last line to itself.
    if (sizeBefore > 0 && !file.endsInLineEnd(sizeBefore))
        record.prepend('\n');
    if (crLfLineEnds)
        record.replace('\n', "\r\n");

    if (file.write(record) && file.sync() && (!file.created() || file.syncDirectory(fileName)))
        return {RecordOutcome::Saved, {}};

    const QString reason = file.errorString();
    if (file.truncate(sizeBefore) && file.sync())
        return {RecordOutcome::NotSaved, reason};
    return {RecordOutcome::PartLeft, reason};
}
