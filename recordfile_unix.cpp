#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "recordfile_p.h"

const bool LogFile::crLfLineEnds = false;

namespace {

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

} // namespace

LogFile::~LogFile()
{
    // Closing also gives up the lock.
    if (m_handle >= 0)
        ::close(int(m_handle));
}

// Only a pipe without a reader (ENXIO) is waited for.
bool LogFile::mayRetry(int error)
{
    if (error != ENXIO || m_deadline.hasExpired())
        return false;
    QThread::msleep(5);
    return true;
}

bool LogFile::open(const QString &name)
{
    // One deadline for every wait of a pipe or a device: for a reader, for the lock and for
    // room.
    m_deadline.setRemainingTime(patienceMilliseconds);
    m_longest.setRemainingTime(longestMilliseconds);
    m_name = name;
    const QByteArray path = QFile::encodeName(name);
    // Non-blocking, so that a pipe without a reader fails instead of holding the window; never
    // the controlling terminal, whose hangup would end the program.
    const int flags = O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    struct stat status = {};
    int fd = -1;
    if (::stat(path.constData(), &status) == 0 && S_ISFIFO(status.st_mode)) {
        // Opened for reading, the pipe would count this process as a reader, and closing it
        // would hand the real reader an end of file.
        while ((fd = retryOnInterrupt([&] { return ::open(path.constData(), O_WRONLY | flags); }))
                   < 0
               && mayRetry(errno)) { }
    } else {
        // Read too, for the log's last byte. Through a link, the file it points to is made.
        fd = retryOnInterrupt(
            [&] { return ::open(path.constData(), O_RDWR | O_CREAT | flags, 0666); });
        m_readable = fd >= 0;
        if (fd < 0 && errno == EACCES)
            fd = retryOnInterrupt(
                [&] { return ::open(path.constData(), O_WRONLY | O_CREAT | flags, 0666); });
    }
    if (fd < 0)
        return fail(errno);
    m_handle = fd;

    if (fstat(fd, &status) != 0)
        return fail(errno);
    m_regular = S_ISREG(status.st_mode);
    m_pipe = S_ISFIFO(status.st_mode);
    // A pipe or a device stays non-blocking: a reader that stops reading, or a terminal that
    // stops taking bytes, must not hold the window beyond the deadline.
    if (!m_regular)
        return true;
    const int statusFlags = fcntl(fd, F_GETFL);
    if (statusFlags < 0 || fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) < 0)
        return fail(errno);
    return true;
}

LogFile::LockResult LogFile::tryLock()
{
    if (retryOnInterrupt([this] { return ::flock(int(m_handle), LOCK_EX | LOCK_NB); }) == 0)
        return Locked;
    if (errno == EWOULDBLOCK)
        return HeldElsewhere;
    fail(errno);
    return LockFailed;
}

qint64 LogFile::size()
{
    struct stat status = {};
    if (fstat(int(m_handle), &status) != 0) {
        fail(errno);
        return -1;
    }
    return status.st_size;
}

// Not const: the Windows one waits out other programs' holds.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool LogFile::endsInLineEnd(qint64 size)
{
    // A log open for writing only cannot tell: unread, its last byte counts as mid-line, since
    // an empty line is harmless and an order glued onto the last line is not.
    char last = '\n';
    return m_readable && pread(int(m_handle), &last, 1, off_t(size - 1)) == 1 && last == '\n';
}

bool LogFile::write(const QByteArray &bytes)
{
    const SignalsAsErrors signalsAsErrors;
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written
            = ::write(int(m_handle), bytes.constData() + done, size_t(bytes.size() - done));
        const int error = errno;
        if (written > 0) {
            done += written;
            m_written = done;
            m_deadline.setRemainingTime(patienceMilliseconds);
            continue;
        }
        if (written == 0)
            return fail(EIO);
        if (error == EINTR)
            continue;
        if (m_regular || (error != EAGAIN && error != EPIPE))
            return fail(error);
        if (!waitForRoom())
            return false;
    }
    return true;
}

// A pipe or a device without room, or a pipe whose reader left, is written again on the same
// end: it keeps the turn, and the next reader to open the pipe gets what is in it.
bool LogFile::waitForRoom()
{
    for (;;) {
        const qint64 left = qMin(m_deadline.remainingTime(), m_longest.remainingTime());
        pollfd end = {int(m_handle), POLLOUT, 0};
        const int ready = ::poll(&end, 1, int(left));
        if (ready < 0 && errno != EINTR)
            return fail(errno);
        const bool noReader = m_pipe && (end.revents & POLLERR) != 0;
        if (ready > 0 && !noReader)
            return true;
        if (left == 0)
            return fail(noReader ? NoReader : m_longest.hasExpired() ? TooSlow : NothingMoved);
        // With no reader, poll() tells at once: the pause comes from the sleep.
        if (noReader)
            QThread::msleep(5);
    }
}

bool LogFile::sync()
{
#ifdef Q_OS_LINUX
    return retryOnInterrupt([this] { return ::fdatasync(int(m_handle)); }) == 0 || fail(errno);
#else
    return retryOnInterrupt([this] { return ::fsync(int(m_handle)); }) == 0 || fail(errno);
#endif
}

bool LogFile::syncDirectory()
{
    // The folder that holds the name: for a link, the folder of the file it points to.
    QString file = QFileInfo(m_name).canonicalFilePath();
    if (file.isEmpty())
        file = m_name;
    const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder that may be written but not listed cannot be opened for its sync; that does
    // not undo a record that is on the disk.
    if (fd < 0)
        return true;
    // Some file systems cannot sync a folder at all (CIFS before Linux 4.17, some FUSE and
    // network ones): that is no failure, as PostgreSQL's fsync_fname holds. An I/O error is:
    // the name may not be on the disk.
    const int synced = retryOnInterrupt([fd] { return ::fsync(fd); });
    const int error = errno;
    ::close(fd);
    return synced == 0 || error == EINVAL || error == EBADF || error == ENOTSUP || fail(error);
}

bool LogFile::truncate(qint64 size)
{
    return retryOnInterrupt([this, size] { return ::ftruncate(int(m_handle), off_t(size)); }) == 0
        || fail(errno);
}
