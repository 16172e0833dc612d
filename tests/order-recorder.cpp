// Records from a process of its own, as a second copy of the program would:
//   order-recorder COUNT TEXT [FILE-SIZE-LIMIT]
// appends TEXT to test.txt COUNT times, 10 ms apart, and prints each record that failed as
// "outcome<TAB>reason". The file-size limit leaves its signal as it is, as a shell's ulimit does.

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

#include "recordfile.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3)
        return 2;

    if (args.size() > 3) {
#ifdef Q_OS_UNIX
        const rlimit limit = {args.at(3).toULongLong(), args.at(3).toULongLong()};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 3;
#else
        return 3;
#endif
    }

    const char *const outcomes[] = {"Saved", "NotOpened", "NotSaved", "PartLeft", "PartSent"};
    const int count = args.at(1).toInt();
    for (int i = 0; i < count; ++i) {
        const RecordOutcome outcome = appendRecord(QStringLiteral("test.txt"), args.at(2));
        if (outcome.status != RecordOutcome::Saved)
            std::printf("%s\t%s\n", outcomes[outcome.status], qPrintable(outcome.reason));
        // Clicks come apart: a pause longer than another copy's wait between polls of the lock,
        // which would otherwise find it taken every time.
        QThread::msleep(10);
    }
    return 0;
}
