#ifndef RECORDFILE_H
#define RECORDFILE_H

#include <QString>

struct RecordOutcome
{
    enum Status {
        Saved,
        NotOpened,
        NotSaved, // nothing of the record is left in the file
        PartLeft, // the write failed and the file could not be cut back
    };
    Status status;
    QString reason;
};

// Appends text to the log as a record on lines of its own, in UTF-8 with the platform's line
// ends, and returns only once it is on stable storage. Copies of the program take turns
// through an exclusive lock on the open file; a failed record is cut back out of that file.
RecordOutcome appendRecord(const QString &fileName, const QString &text);

#endif // RECORDFILE_H
