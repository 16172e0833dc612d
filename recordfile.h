#ifndef RECORDFILE_H
#define RECORDFILE_H

#include <QString>

struct RecordOutcome
{
    enum Status {
        Saved,
        NotOpened,
        NotSaved, // nothing of the record is left in the file, nor in a pipe for a reader
        PartLeft, // a file that could not be cut back
        PartSent, // a pipe, a terminal or a device that took part of the record
    };
    Status status;
    QString reason;
};

// Appends text to the log as a record on lines of its own, in UTF-8 with the platform's line
// ends, and returns only once it is on stable storage. Copies of the program take turns
// through an exclusive lock on the open file; a failed record is cut back out of that file.
// A pipe, a terminal or a device has the record once every byte of it is in, a pipe while a
// reader holds the other end: the record does not wait for the reading.
RecordOutcome appendRecord(const QString &fileName, const QString &text);

#endif // RECORDFILE_H
