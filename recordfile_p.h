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

    // Long enough for another copy's record to reach the disk, short enough for a cashier:
    // the longest the record waits for the lock, for a pipe's reader, or for a file that
    // another program holds for a moment. On a pipe or a device, bytes that move start it
    // again, up to the longest a record may take there.
    static constexpr int patienceMilliseconds = 2000;
    static constexpr int longestMilliseconds = 10000;
    static const bool crLfLineEnds;

    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    // Without a record to write, a pipe is left unopened: it waits for no reader.
    bool open(const QString &name, bool withRecord);
    bool isRegular() const { return m_regular; }
    // A pipe's or a device's one deadline, which its lock shares.
    QDeadlineTimer deadline() const { return m_deadline; }
    LockResult tryLock();
    qint64 size();
    bool endsInLineEnd(qint64 size);
    // A pipe or a device that takes nothing for the patience, or too little in the longest
    // time, fails the write; written() tells how much of the bytes went out all the same.
    bool write(const QByteArray &bytes);
    qint64 written() const { return m_written; }
    // How many bytes the pipe held unread when the record gave up waiting for its reading.
    qint64 unread() const { return m_unread; }
    enum TimeOut { NoTimeOut, NothingMoved, TooSlow };
    TimeOut timedOut() const { return m_timedOut; }
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
    // On a pipe or a device: the time left, and whether there is any.
    qint64 timeLeft() const;
    bool inTime();
    bool readWithin();

    QString m_name;
    qintptr m_handle = -1;
    int m_error = 0;
    int m_retries = 0;
    QDeadlineTimer m_deadline;
    QDeadlineTimer m_longest;
    qint64 m_written = 0;
    qint64 m_unread = 0;
    TimeOut m_timedOut = NoTimeOut;
    bool m_regular = false;
    bool m_readable = false;
    bool m_pipe = false;
    bool m_locked = false;
};

#endif // RECORDFILE_P_H
