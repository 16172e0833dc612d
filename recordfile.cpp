#include "recordfile.h"

#include <QRandomGenerator>
#include <QThread>

#include "recordfile_p.h"

namespace {

// A blocking wait for the lock could not be bounded, so the lock is polled. The pauses vary,
// so that a copy polling in step with another's records does not miss every gap between them.
LogFile::LockResult lockWithin(LogFile &file, QDeadlineTimer deadline)
{
    for (;;) {
        const LogFile::LockResult result = file.tryLock();
        if (result != LogFile::HeldElsewhere || deadline.hasExpired())
            return result;
        QThread::usleep(QRandomGenerator::global()->bounded(500, 5000));
    }
}

QString lockedReason()
{
    return QStringLiteral("another program kept it locked for %1 seconds")
        .arg(LogFile::patienceMilliseconds / 1000);
}

// Says only what is known: how much went out, and how much the pipe still held unread, which
// may be another program's bytes.
QString timedOutReason(const LogFile &file, qsizetype size)
{
    const int patience = LogFile::patienceMilliseconds / 1000;
    if (file.timedOut() == LogFile::TooSlow && file.written() < size) {
        return QStringLiteral("the reader was too slow: %1 of the order's %2 bytes went out in %3 "
                              "seconds")
            .arg(file.written())
            .arg(size)
            .arg(LogFile::longestMilliseconds / 1000);
    }
    if (file.timedOut() == LogFile::TooSlow) {
        return QStringLiteral("the reader was too slow: the pipe still held %1 unread bytes after "
                              "%2 seconds")
            .arg(file.unread())
            .arg(LogFile::longestMilliseconds / 1000);
    }
    if (file.written() == 0)
        return QStringLiteral("nothing took the order for %1 seconds").arg(patience);
    if (file.written() < size) {
        return QStringLiteral("nothing took the order for %1 seconds after %2 of its %3 bytes "
                              "went out")
            .arg(patience)
            .arg(file.written())
            .arg(size);
    }
    return QStringLiteral("%1 bytes stayed unread in the pipe for %2 seconds after the order went "
                          "out")
        .arg(file.unread())
        .arg(patience);
}

} // namespace

RecordOutcome appendRecord(const QString &fileName, const QString &text)
{
    QByteArray record = text.toUtf8();
    LogFile file;
    if (!file.open(fileName, !record.isEmpty()))
        return {RecordOutcome::NotOpened, qt_error_string(file.error())};
    if (!record.isEmpty() && !record.endsWith('\n'))
        record += '\n';

    // A pipe or a device takes the record as it comes: there is nothing to sync or cut. Copies
    // writing to one pipe still take turns, so that records arrive whole; a device that has
    // no locks is written all the same. Its last byte cannot be read, and may end a record
    // that a deadline cut short, here or in another copy: the record starts on a line of its
    // own, as on a log that cannot be read.
    if (!file.isRegular()) {
        if (record.isEmpty())
            return {RecordOutcome::Saved, {}};
        record.prepend('\n');
        if (LogFile::crLfLineEnds)
            record.replace('\n', "\r\n");
        if (lockWithin(file, file.deadline()) == LogFile::HeldElsewhere) {
            return {RecordOutcome::NotSaved,
                    QStringLiteral("another program kept it locked until the %1 seconds were up")
                        .arg(LogFile::patienceMilliseconds / 1000)};
        }
        if (file.write(record))
            return {RecordOutcome::Saved, {}};
        const QString reason = file.timedOut() != LogFile::NoTimeOut
            ? timedOutReason(file, record.size())
            : qt_error_string(file.error());
        return {file.written() > 0 ? RecordOutcome::PartLeft : RecordOutcome::NotSaved, reason};
    }

    if (record.isEmpty()) {
        // A log that this click created keeps its name through a power cut all the same.
        if (file.size() == 0)
            file.syncDirectory();
        return {RecordOutcome::Saved, {}};
    }

    switch (lockWithin(file, QDeadlineTimer(LogFile::patienceMilliseconds))) {
    case LogFile::Locked:
        break;
    case LogFile::HeldElsewhere:
        return {RecordOutcome::NotSaved, lockedReason()};
    case LogFile::LockFailed:
        return {RecordOutcome::NotSaved, qt_error_string(file.error())};
    }

    const qint64 sizeBefore = file.size();
    if (sizeBefore < 0)
        return {RecordOutcome::NotSaved, qt_error_string(file.error())};
    // A log that ends mid-line keeps its last line to itself.
    if (sizeBefore > 0 && !file.endsInLineEnd(sizeBefore))
        record.prepend('\n');
    if (LogFile::crLfLineEnds)
        record.replace('\n', "\r\n");

    // An empty log may be new, its name not yet on the disk.
    const bool nameToSync = sizeBefore == 0;
    if (file.write(record) && file.sync() && (!nameToSync || file.syncDirectory()))
        return {RecordOutcome::Saved, {}};

    const QString reason = qt_error_string(file.error());
    if (file.truncate(sizeBefore) && file.sync()) {
        if (nameToSync)
            file.syncDirectory();
        return {RecordOutcome::NotSaved, reason};
    }
    return {RecordOutcome::PartLeft, reason};
}
