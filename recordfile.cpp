#include "recordfile.h"

#include <QFileInfo>
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

// Says only what is known: why the record stopped, and how much of it went in.
QString pipeReason(const LogFile &file, qsizetype size)
{
    QString reason;
    switch (file.error()) {
    case LogFile::NothingMoved:
    case LogFile::NoReader:
        reason = QStringLiteral("nothing took the order for %1 seconds")
                     .arg(LogFile::patienceMilliseconds / 1000);
        break;
    case LogFile::TooSlow:
        reason = QStringLiteral("the reader took more than %1 seconds")
                     .arg(LogFile::longestMilliseconds / 1000);
        break;
    default:
        reason = qt_error_string(file.error());
    }
    if (file.written() > 0) {
        reason
            += QStringLiteral("; %1 of the order's %2 bytes went in").arg(file.written()).arg(size);
    }
    return reason;
}

} // namespace

RecordOutcome appendRecord(const QString &fileName, const QString &text)
{
    QByteArray record = text.toUtf8();
    // Without a record, a pipe, a terminal or a device is left unopened: a pipe waits for no
    // reader, and its reader is handed no end of file that no record caused.
    const QFileInfo info(fileName);
    if (record.isEmpty() && info.exists() && !info.isFile() && !info.isDir())
        return {RecordOutcome::Saved, {}};
    LogFile file;
    if (!file.open(fileName))
        return {RecordOutcome::NotOpened, qt_error_string(file.error())};
    const bool regular = file.isRegular();
    if (record.isEmpty()) {
        // A log that this click created keeps its name through a power cut all the same.
        if (regular && file.size() == 0)
            file.syncDirectory();
        return {RecordOutcome::Saved, {}};
    }
    if (!record.endsWith('\n'))
        record += '\n';

    // Copies writing to one pipe take turns too, so that records arrive whole; its wait shares
    // the deadline of the wait for a reader.
    switch (lockWithin(file,
                       regular ? QDeadlineTimer(LogFile::patienceMilliseconds) : file.deadline())) {
    case LogFile::Locked:
        break;
    case LogFile::HeldElsewhere:
        return {RecordOutcome::NotSaved, lockedReason()};
    case LogFile::LockFailed:
        // A device that has no locks is written all the same.
        if (regular)
            return {RecordOutcome::NotSaved, qt_error_string(file.error())};
        break;
    }

    const qint64 sizeBefore = regular ? file.size() : 0;
    if (sizeBefore < 0)
        return {RecordOutcome::NotSaved, qt_error_string(file.error())};
    // A log that ends mid-line keeps its last line to itself. The last byte of a pipe, a
    // terminal or a device cannot be read, and may end a record that a deadline cut short,
    // here or in another copy: there each record starts with a line end.
    if (!regular || (sizeBefore > 0 && !file.endsInLineEnd(sizeBefore)))
        record.prepend('\n');
    if (LogFile::crLfLineEnds)
        record.replace('\n', "\r\n");

    // A pipe or a device has the record once every byte is in: there is nothing to sync or
    // cut back. What went in may still reach a reader, unless none is left to take it.
    if (!regular) {
        if (file.write(record))
            return {RecordOutcome::Saved, {}};
        const bool partSent = file.written() > 0 && file.error() != LogFile::NoReader;
        return {partSent ? RecordOutcome::PartSent : RecordOutcome::NotSaved,
                pipeReason(file, record.size())};
    }

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
