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
    // another program holds for a moment.
    static constexpr int patienceMilliseconds = 2000;
    static const bool crLfLineEnds;

    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    bool open(const QString &name);
    bool isRegular() const { return m_regular; }
    LockResult tryLock();
    qint64 size();
    bool endsInLineEnd(qint64 size);
    bool write(const QByteArray &bytes);
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
    int m_retries = 0;
    QDeadlineTimer m_retryDeadline;
    bool m_regular = false;
    bool m_pipe = false;
    bool m_locked = false;
};

#endif // RECORDFILE_P_H
