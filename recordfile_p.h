#ifndef RECORDFILE_P_H
#define RECORDFILE_P_H

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

// The log as the record uses it: the file calls of one platform, in recordfile_unix.cpp or
// recordfile_win.cpp. A call that fails returns false and keeps the system's error code.
class LogFile
{
public:
    enum LockResult { Locked, HeldElsewhere, LockFailed };
    // The error of a write to a pipe or a device that ran out of time: nothing went out for
    // the patience, with a reader there or with none left, or the longest time was up.
    enum TimeOut { NothingMoved = -1, NoReader = -2, TooSlow = -3 };

    // Long enough for another copy's record to reach the disk, short enough for a cashier:
    // the longest the record waits for the lock, for a pipe's reader, or for a file that
    // another program holds for a moment. On a pipe or a device, bytes that go out start it
    // again, up to the longest a record may take there.
    static constexpr int patienceMilliseconds = 2000;
    static constexpr int longestMilliseconds = 10000;
    static const bool crLfLineEnds;

    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    bool open(const QString &name);
    bool isRegular() const { return m_regular; }
    // A pipe's or a device's one deadline, which its lock shares.
    QDeadlineTimer deadline() const { return m_deadline; }
    LockResult tryLock();
    qint64 size();
    bool endsInLineEnd(qint64 size);
    // written() tells how much of the bytes went out, the write failed or not.
    bool write(const QByteArray &bytes);
    qint64 written() const { return m_written; }
    bool sync();
    // Puts the log's name on the disk: the folder that holds it is synced.
    bool syncDirectory();
    bool truncate(qint64 size);
    int error() const { return m_error; }

private:
    bool fail(int error)
    {
        m_error = error;
        return false;
    }
    bool mayRetry(int error);

    QString m_name;
    qintptr m_handle = -1;
    int m_error = 0;
    QDeadlineTimer m_deadline;
    qint64 m_written = 0;
    bool m_regular = false;
    bool m_readable = false;
#ifdef Q_OS_UNIX
    bool waitForRoom();

    QDeadlineTimer m_longest;
    bool m_pipe = false;
#else
    int m_retries = 0;
    bool m_locked = false;
#endif
};

#endif // RECORDFILE_P_H
