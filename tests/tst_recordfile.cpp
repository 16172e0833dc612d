#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <optional>
#include <thread>
#include <utility>

#include "ordertest.h"
#include "recordfile.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool runningAsRoot()
{
#ifdef Q_OS_UNIX
    return geteuid() == 0;
#else
    return false;
#endif
}

// Set up what only root may (a loop device, a drop to another user), these run as a CTest
// test of their own, under the label "system".
bool systemRun()
{
    return qEnvironmentVariableIsSet("ORDERING_SYSTEM_TESTS");
}

#ifdef Q_OS_LINUX
// How a reader reads: so many bytes at a time, pausing after each of its first reads.
struct Pace
{
    int chunk = 16384;
    int pause = 0;
    int pauses = 0;
};

// A reader that comes back for each record, as `while true; do cat test.txt; done` does; or,
// given a terminal's two ends, the program on the terminal.
class PipeReader
{
public:
    explicit PipeReader(QByteArray path, Pace pace, int master = -1, int slave = -1)
        : m_path(std::move(path))
        , m_master(master)
        , m_slave(slave)
        , m_thread([this, pace] {
            QByteArray chunk(pace.chunk, '\0');
            // Once at least, so that a reader let go at once still takes what the pipe holds.
            int pauses = pace.pauses;
            do {
                const int end
                    = m_master >= 0 ? m_master : ::open(m_path.constData(), O_RDONLY | O_CLOEXEC);
                m_readings.append(QByteArray());
                for (ssize_t n = 0; (n = ::read(end, chunk.data(), chunk.size())) > 0;) {
                    m_readings.last().append(chunk.constData(), n);
                    m_controlling = m_controlling || tcgetsid(end) > 0;
                    if (!m_stop && pauses-- > 0)
                        QThread::msleep(ulong(pace.pause));
                }
                if (end != m_master)
                    ::close(end);
            } while (!m_stop);
            m_done = true;
        })
    { }
    ~PipeReader()
    {
        stop();
        if (m_master >= 0)
            ::close(m_master);
    }

    // What each opening read, once the reader is let go: a writer's opening wakes a pipe's
    // reader, and the last end of a terminal closing its program.
    QList<QByteArray> stop()
    {
        for (m_stop = true; !m_done; QThread::msleep(1)) {
            if (m_slave >= 0)
                ::close(std::exchange(m_slave, -1));
            else
                ::close(::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        }
        if (m_thread.joinable())
            m_thread.join();
        // The last opening only let the reader go.
        if (!m_readings.isEmpty() && m_readings.constLast().isEmpty())
            m_readings.removeLast();
        return m_readings;
    }
    // Whether, while bytes came, test.txt was some program's controlling terminal.
    bool controlling() const { return m_controlling; }

private:
    QByteArray m_path;
    int m_master;
    int m_slave;
    QList<QByteArray> m_readings;
    std::atomic<bool> m_controlling = false;
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_done = false;
    std::thread m_thread;
};

// Whether the bytes are the records, each whole once in any order, then perhaps the start of
// the record cut short.
bool madeOf(QByteArray bytes, QByteArrayList records, const QByteArray &cutShort)
{
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (bytes.startsWith(records.at(i))) {
            bytes.remove(0, records.at(i).size());
            records.removeAt(i);
            i = -1;
        }
    }
    return records.isEmpty() && cutShort.startsWith(bytes);
}

// Runs a command to its end; true when it exits with one of the given codes.
bool run(const QString &program, const QStringList &args, QByteArray *out = nullptr,
         const QList<int> &codes = {0})
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return false;
    if (out)
        *out = process.readAllStandardOutput().trimmed();
    return codes.contains(process.exitCode());
}

// Whether the thread sleeps in the call that opens a file: for a pipe, waiting for the other end.
bool waitsInOpen(pid_t thread)
{
    const QString task = QStringLiteral("/proc/self/task/%1/").arg(thread);
    const QByteArray status = readAll(task + QStringLiteral("stat"));
    const QByteArray call = readAll(task + QStringLiteral("syscall"));
    return status.mid(status.lastIndexOf(')') + 2, 1) == "S"
        && call.startsWith(QByteArray::number(SYS_openat) + ' ');
}
#endif

} // namespace

class tst_RecordFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void content_data();
    void content();
    void openFailure_data();
    void openFailure();
    void lockedByAnotherProgram();
    void heldForAMoment_data();
    void heldForAMoment();
    void diskFull_data();
    void diskFull();
    void fileSizeLimit_data();
    void fileSizeLimit();
    void pipe_data();
    void pipe();
    void twoCopiesAtOnce_data();
    void twoCopiesAtOnce();
    void folderSyncFails_data();
    void folderSyncFails();
    void asAnotherUser_data();
    void asAnotherUser();
    void survivesPowerCut();

private:
    QString runPath() const { return m_root->filePath(QStringLiteral("run")); }
    QString log() const { return runPath() + QStringLiteral("/test.txt"); }
    void startRecorder(QProcess &recorder, const QStringList &args, bool unprivileged = false);
    QStringList failuresOf(QProcess &recorder, int milliseconds = 60000);

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_previous;
};

void tst_RecordFile::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    QVERIFY(QDir(m_root->path()).mkdir(QStringLiteral("run")));
    m_previous = QDir::currentPath();
    QDir::setCurrent(runPath());
}

void tst_RecordFile::cleanup()
{
    QDir::setCurrent(m_previous);
    // Give back any permission taken away, so that the scratch tree can be removed.
    QFile::setPermissions(runPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_root.reset();
}

// A second copy of the program, from the build's own order-recorder. Unprivileged, it runs
// as nobody, since permissions do not stop root.
void tst_RecordFile::startRecorder(QProcess &recorder, const QStringList &args, bool unprivileged)
{
    QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/order-recorder");
#ifdef Q_OS_WIN
    program += QStringLiteral(".exe");
    Q_UNUSED(unprivileged);
#else
    if (unprivileged) {
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
            | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(m_root->path(), open));
        QVERIFY(QFile::copy(program, m_root->filePath(QStringLiteral("order-recorder"))));
        program = m_root->filePath(QStringLiteral("order-recorder"));
        recorder.setChildProcessModifier([] {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(125);
        });
    }
#endif
    recorder.setWorkingDirectory(runPath());
    recorder.start(program, args);
}

QStringList tst_RecordFile::failuresOf(QProcess &recorder, int milliseconds)
{
    if (!recorder.waitForFinished(milliseconds) || recorder.exitStatus() != QProcess::NormalExit
        || recorder.exitCode() != 0) {
        return {QStringLiteral("recorder ended with %1: %2")
                    .arg(recorder.exitCode())
                    .arg(QString::fromLocal8Bit(recorder.readAllStandardError()))};
    }
    return QString::fromUtf8(recorder.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

void tst_RecordFile::content_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("link");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QByteArray>("added");

    const QByteArray record = summary().toUtf8() + '\n';
    const QByteArray missing; // no file at all before the first click

    QTest::newRow("first click creates the file") << missing << false << summary() << 1 << record;
    QTest::newRow("two clicks, two records")
        << missing << false << summary() << 2 << record + record;
    QTest::newRow("empty text area creates an empty file")
        << missing << false << QString() << 1 << QByteArray("");
    QTest::newRow("empty text area adds nothing")
        << QByteArray("earlier\n") << false << QString() << 3 << QByteArray("");
    QTest::newRow("text ending in a line end") << missing << false << "one\ntwo\n"
                                               << 2 << QByteArray("one\ntwo\none\ntwo\n");
    QTest::newRow("blank lines kept") << missing << false << "\n\nx\n\n"
                                      << 1 << QByteArray("\n\nx\n\n");
    QTest::newRow("Chinese typed by the cashier")
        << missing << false << "加辣 漢堡\n不要冰" << 1
        << QByteArray("\xe5\x8a\xa0\xe8\xbe\xa3 "
                      "\xe6\xbc\xa2\xe5\xa0\xa1\n\xe4\xb8\x8d\xe8\xa6\x81\xe5\x86\xb0\n");
    QTest::newRow("after earlier records")
        << QByteArray("earlier\n") << false << summary() << 1 << record;
    QTest::newRow("after a log ending mid-line")
        << QByteArray("have to pay 390") << false << "x" << 1 << QByteArray("\nx\n");
    QTest::newRow("after arbitrary bytes")
        << QByteArray("\xff\xfe\0\r", 4) << false << "x" << 1 << QByteArray("\nx\n");
    QTest::newRow("a link whose file is not there yet")
        << missing << true << summary() << 2 << record + record;
}

void tst_RecordFile::content()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, link);
    QFETCH(QString, text);
    QFETCH(int, clicks);
    QFETCH(QByteArray, added);

    const QString target = m_root->filePath(QStringLiteral("elsewhere.txt"));
    if (link) {
#ifdef Q_OS_WIN
        QSKIP("QFile::link makes a shortcut on Windows, not a link that files follow");
#endif
        QVERIFY(QFile::link(target, log()));
    }
    if (!before.isNull())
        QVERIFY(writeAll(log(), before));

    for (int i = 0; i < clicks; ++i) {
        const RecordOutcome outcome = appendRecord(QStringLiteral("test.txt"), text);
        QCOMPARE(outcome.status, RecordOutcome::Saved);
        QCOMPARE(outcome.reason, QString());
    }

    QVERIFY(QFile::exists(log()));
    QCOMPARE(readAll(log()), before + onDisk(added));
    QCOMPARE(QFileInfo(log()).isSymLink(), link);
}

void tst_RecordFile::openFailure_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("test.txt is a directory") << "directory";
    QTest::newRow("test.txt is read-only") << "read-only file";
    QTest::newRow("directory not writable") << "read-only directory";
    QTest::newRow("test.txt a link into a missing folder") << "link";
}

void tst_RecordFile::openFailure()
{
    QFETCH(QString, obstacle);
    const QByteArray earlier = "earlier\n";
#ifdef Q_OS_WIN
    if (obstacle == "read-only directory")
        QSKIP("A folder's read-only attribute does not stop creating files in it on Windows");
    if (obstacle == "link")
        QSKIP("QFile::link makes a shortcut on Windows, not a link that files follow");
#endif
    const bool asNobody = obstacle.startsWith("read-only") && runningAsRoot();
    if (asNobody && !systemRun())
        QSKIP("Permissions do not stop root: a system test runs this as nobody");

    if (obstacle == "directory") {
        QVERIFY(QDir().mkdir(log()));
    } else if (obstacle == "read-only file") {
        QVERIFY(writeAll(log(), earlier));
        QVERIFY(QFile::setPermissions(log(), QFile::ReadOwner | QFile::ReadOther));
#ifdef Q_OS_WIN
        if (QFile probe(log()); probe.open(QIODevice::Append))
            QSKIP("The read-only attribute does not stop writing here (Wine as root)");
#endif
    } else if (obstacle == "read-only directory") {
        QVERIFY(QFile::setPermissions(
            runPath(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    } else {
        QVERIFY(QFile::link(m_root->filePath(QStringLiteral("gone/test.txt")), log()));
    }

    if (asNobody) {
        QProcess recorder;
        startRecorder(recorder, {QStringLiteral("1"), summary()}, true);
        const QStringList failures = failuresOf(recorder);
        QCOMPARE(failures.size(), 1);
        QVERIFY2(failures.first().startsWith(QStringLiteral("NotOpened\t")),
                 qPrintable(failures.first()));
    } else {
        QCOMPARE(appendRecord(QStringLiteral("test.txt"), summary()).status,
                 RecordOutcome::NotOpened);
    }
    if (obstacle == "directory")
        QVERIFY(QFileInfo(log()).isDir());
    else if (obstacle == "read-only directory" || obstacle == "link")
        QVERIFY(!QFileInfo::exists(log()));
    else
        QCOMPARE(readAll(log()), earlier);
}

// On Windows the turn is a lock on one byte far past the end, so that other programs still read
// the log meanwhile; Wine lets reads pass a locked range, so this cannot show it.
void tst_RecordFile::lockedByAnotherProgram()
{
    const QByteArray earlier = "earlier\n";
    QVERIFY(writeAll(log(), earlier));
#ifdef Q_OS_WIN
    HANDLE holder
        = CreateFileW(reinterpret_cast<const wchar_t *>(log().utf16()), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    QVERIFY(holder != INVALID_HANDLE_VALUE);
    OVERLAPPED whole = {};
    QVERIFY(LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));
    const auto release = qScopeGuard([holder] { CloseHandle(holder); });
#else
    const int holder = ::open(QFile::encodeName(log()).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(holder >= 0);
    const auto release = qScopeGuard([holder] { ::close(holder); });
    QVERIFY(::flock(holder, LOCK_EX) == 0);
#endif

    const RecordOutcome outcome = appendRecord(QStringLiteral("test.txt"), summary());
    QCOMPARE(outcome.status, RecordOutcome::NotSaved);
    QCOMPARE(outcome.reason, QStringLiteral("another program kept it locked for 2 seconds"));
    QCOMPARE(readAll(log()), earlier);
}

void tst_RecordFile::heldForAMoment_data()
{
    QTest::addColumn<int>("holdMilliseconds");
    QTest::addColumn<RecordOutcome::Status>("status");
    QTest::newRow("a fraction of a second") << 300 << RecordOutcome::Saved;
    QTest::newRow("longer than the record waits") << 4000 << RecordOutcome::NotOpened;
}

// As a virus scanner or a backup does: the file opened without write sharing, then let go.
// A handle of this process is refused as one of another process would be. Wine has no such
// tools, hence the handle.
void tst_RecordFile::heldForAMoment()
{
#ifdef Q_OS_WIN
    QFETCH(int, holdMilliseconds);
    QFETCH(RecordOutcome::Status, status);
    const QByteArray earlier = "earlier\n";
    QVERIFY(writeAll(log(), earlier));
    HANDLE holder
        = CreateFileW(reinterpret_cast<const wchar_t *>(log().utf16()), GENERIC_READ,
                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    QVERIFY(holder != INVALID_HANDLE_VALUE);
    std::thread letGo([holder, holdMilliseconds] {
        Sleep(DWORD(holdMilliseconds));
        CloseHandle(holder);
    });

    const RecordOutcome outcome = appendRecord(QStringLiteral("test.txt"), summary());
    letGo.join();
    QCOMPARE(outcome.status, status);
    QCOMPARE(
        readAll(log()),
        earlier
            + (status == RecordOutcome::Saved ? onDisk(summary().toUtf8() + '\n') : QByteArray()));
#else
    QSKIP("Only Windows refuses to share an open file");
#endif
}

void tst_RecordFile::diskFull_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("short record") << summary();
    QTest::newRow("long record") << QString(40000, QLatin1Char('x'));
}

void tst_RecordFile::diskFull()
{
    QFETCH(QString, text);
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("No /dev/full here");
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), log()));

    const RecordOutcome full = appendRecord(QStringLiteral("test.txt"), text);
    QCOMPARE(full.status, RecordOutcome::NotSaved);
#ifdef Q_OS_UNIX
    QCOMPARE(full.reason, qt_error_string(ENOSPC));
#endif

    // Once there is room again, the next record is saved.
    QVERIFY(QFile::remove(log()));
    QCOMPARE(appendRecord(QStringLiteral("test.txt"), text).status, RecordOutcome::Saved);
    QCOMPARE(readAll(log()), onDisk(text.toUtf8() + '\n'));
}

void tst_RecordFile::fileSizeLimit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("room");
    QTest::newRow("short record, some room") << summary() << 10;
    QTest::newRow("short record, no room") << summary() << 0;
    QTest::newRow("long record, some room") << QString(40000, QLatin1Char('x')) << 30000;
}

void tst_RecordFile::fileSizeLimit()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, text);
    QFETCH(int, room);
    const QByteArray earlier = "You order : coke \nTotal money is 50\nhave to pay 40";
    QVERIFY(writeAll(log(), earlier));

    // The limit's signal is left at its default: a write past the limit must not end the
    // program, however much of the record fits.
    QProcess recorder;
    startRecorder(recorder, {QStringLiteral("1"), text, QString::number(earlier.size() + room)});
    QCOMPARE(failuresOf(recorder),
             QStringList(QStringLiteral("NotSaved\t") + qt_error_string(EFBIG)));
    QCOMPARE(readAll(log()), earlier);
#else
    QSKIP("File-size limits are a Unix facility");
#endif
}

void tst_RecordFile::pipe_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("second"); // another copy's text, clicked as often
    QTest::addColumn<QStringList>("failures"); // the start of each failed click's report
    QTest::addColumn<QByteArrayList>("records"); // what the readers read, whole, in any order
    QTest::addColumn<QByteArray>("cutShort"); // a record of which they may read only the start
    const QString nothing = QStringLiteral("nothing took the order for 2 seconds");
    const QString longer(100000, QLatin1Char('A')); // than the pipe holds
    const QString longest(120000, QLatin1Char('A')); // than a reader of 4 KB a second takes in 10 s
    const QString stalled(40000, QLatin1Char('x')); // fits in the pipe once, not twice
    const QString other = summary() + QString(20000, QLatin1Char('9'));
    const QString alone;
    const auto record = [](const QString &text) { return '\n' + text.toUtf8() + '\n'; };
    const QByteArrayList none;
    // Every record of a run of clicks, and no end of file that no record caused.
    QTest::newRow("a reader back each time")
        << "returning" << summary() << 20 << alone << QStringList()
        << QByteArrayList(20, record(summary())) << QByteArray();
    // A program waiting to write is not woken: the record never opens the pipe for reading.
    QTest::newRow("no reader") << "none" << summary() << 1 << alone
                               << QStringList("NotOpened\t" + qt_error_string(ENXIO)) << none
                               << QByteArray();
    QTest::newRow("no reader, empty text area")
        << "none" << QString() << 1 << alone << QStringList() << none << QByteArray();
    QTest::newRow("a reader, empty text area")
        << "returning" << QString() << 1 << alone << QStringList() << none << QByteArray();
    // The record is in the pipe: it does not wait for the reading.
    QTest::newRow("a reader that pauses mid-order, then reads it all")
        << "pausing" << summary() << 1 << alone << QStringList()
        << QByteArrayList {record(summary())} << QByteArray();
    // The first record fits in the pipe, the second does not; the next reader gets both.
    QTest::newRow("a stalled reader")
        << "stalled" << stalled << 2 << alone << QStringList("PartSent\t" + nothing + "; ")
        << QByteArrayList {record(stalled)} << record(stalled);
    // 16 KB a second: longer than the patience in all, never idle for so long.
    QTest::newRow("a slow steady reader") << "slow" << longest << 1 << alone << QStringList()
                                          << QByteArrayList {record(longest)} << QByteArray();
    QTest::newRow("a reader too slow for 10 seconds")
        << "too slow" << longest << 1 << alone
        << QStringList("PartSent\tthe reader took more than 10 seconds; ") << none
        << record(longest);
    QTest::newRow("the reader leaves after the open")
        << "leaving" << summary() << 1 << alone << QStringList("NotSaved\t" + nothing) << none
        << QByteArray();
    // No reader is left to take what went in.
    QTest::newRow("a reader that leaves without reading")
        << "leaving unread" << longer << 1 << alone << QStringList("NotSaved\t" + nothing + "; ")
        << none << QByteArray();
    QTest::newRow("a late reader that keeps the lock")
        << "late, locking" << summary() << 1 << alone
        << QStringList("NotSaved\tanother program kept it locked for 2 seconds") << none
        << QByteArray();
    QTest::newRow("two copies take turns")
        << "two copies" << longer << 20 << other << QStringList()
        << QByteArrayList(20, record(longer)) + QByteArrayList(20, record(other)) << QByteArray();
    // In raw mode, as a program on the terminal sets it.
    QTest::newRow("a terminal") << "terminal" << summary() << 20 << alone << QStringList()
                                << QByteArrayList(20, record(summary())) << QByteArray();
}

void tst_RecordFile::pipe()
{
#ifdef Q_OS_LINUX
    QFETCH(QString, reader);
    QFETCH(QString, text);
    QFETCH(int, clicks);
    QFETCH(QString, second);
    QFETCH(QStringList, failures);
    QFETCH(QByteArrayList, records);
    QFETCH(QByteArray, cutShort);
    const QByteArray path = QFile::encodeName(log());
    std::optional<PipeReader> readers;
    std::atomic<int> held = -1; // a reader's end that never reads
    std::atomic<pid_t> writer = 0; // a thread waiting to write, -1 once woken
    std::thread helper;
    const auto letGo = qScopeGuard([&] {
        const int end = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (helper.joinable())
            helper.join();
        ::close(end);
        ::close(held);
    });
    const QHash<QString, Pace> paces = {{"returning", {}},
                                        {"two copies", {}},
                                        {"pausing", {1, 3000, 1}},
                                        {"slow", {16384, 1000, 1000}},
                                        {"too slow", {4096, 1000, 1000}}};
    if (reader == "terminal") {
        // Never the controlling terminal of the recorder, which leads a session of its own.
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        const QByteArray name = ptsname(master);
        const int slave = ::open(name.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw = {};
        QVERIFY(slave >= 0 && tcgetattr(slave, &raw) == 0);
        cfmakeraw(&raw);
        QVERIFY(tcsetattr(slave, TCSANOW, &raw) == 0);
        QVERIFY(QFile::link(QFile::decodeName(name), log()));
        readers.emplace(path, Pace(), master, slave);
    } else {
        QVERIFY(mkfifo(path.constData(), 0600) == 0);
    }
    if (reader == "none") {
        helper = std::thread([&] {
            writer = gettid();
            ::close(::open(path.constData(), O_WRONLY | O_CLOEXEC));
            writer = -1;
        });
        QTRY_VERIFY(writer > 0 && waitsInOpen(writer));
    } else if (paces.contains(reader)) {
        readers.emplace(path, paces.value(reader));
    } else if (reader == "late, locking") {
        helper = std::thread([&] {
            QThread::msleep(1500);
            held = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            ::flock(held, LOCK_EX);
            QThread::msleep(1400);
            ::flock(held, LOCK_UN);
        });
    } else if (reader != "terminal") {
        held = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        // Holding the lock, it leaves once the record has opened the pipe: read() no longer
        // sees an end of file. Without, it leaves once the record's bytes have filled the pipe.
        const bool locking = reader == "leaving" && ::flock(held, LOCK_EX) == 0;
        if (reader.startsWith("leaving")) {
            helper = std::thread([&, locking] {
                char byte = 0;
                pollfd bytes = {held, POLLIN, 0};
                for (QDeadlineTimer wait(60000); !wait.hasExpired()
                     && (locking ? ::read(held, &byte, 1) == 0 : ::poll(&bytes, 1, 0) == 0);)
                    QThread::msleep(1);
                QThread::msleep(locking ? 0 : 500);
                ::close(held.exchange(-1));
            });
        }
    }

    QProcess first;
    QProcess copy;
    for (QProcess *recorder : {&first, &copy})
        recorder->setChildProcessModifier([] { setsid(); });
    startRecorder(first, {QString::number(clicks), text});
    if (!second.isNull())
        startRecorder(copy, {QString::number(clicks), second});
    QStringList failed = failuresOf(first);
    if (!second.isNull())
        failed += failuresOf(copy);
    // A stalled reader's pipe keeps what went in for the next reader.
    if (reader == "stalled")
        readers.emplace(path, Pace());
    QVERIFY(writer != -1);
    QVERIFY2(failed.size() == failures.size(), qPrintable(failed.join(QLatin1Char('|'))));
    for (int i = 0; i < failed.size(); ++i)
        QVERIFY2(failed.at(i).startsWith(failures.at(i)), qPrintable(failed.at(i)));

    const QList<QByteArray> readings = readers ? readers->stop() : QList<QByteArray>();
    QVERIFY(!readings.contains(QByteArray()));
    QVERIFY(madeOf(readings.join(), records, cutShort));
    QVERIFY(!readers || !readers->controlling());
#else
    QSKIP("Named pipes in the working directory are tested on Linux");
#endif
}

void tst_RecordFile::twoCopiesAtOnce_data()
{
    QTest::addColumn<qint64>("firstLimit");
    QTest::newRow("both record") << qint64(-1);
    // Every record of the first copy fails, since the log is already longer than its limit.
    QTest::newRow("one fails under a file-size limit") << qint64(20);
}

// On Windows each write goes to the end of the file as it then is, so that another program
// appending without the lock is not overwritten: Wine runs the tests on one machine without
// such a program, so they cannot show that race.
void tst_RecordFile::twoCopiesAtOnce()
{
    QFETCH(qint64, firstLimit);
    const int records = 150;
#ifndef Q_OS_UNIX
    if (firstLimit >= 0)
        QSKIP("File-size limits are a Unix facility");
#endif
    const QString first(20000, QLatin1Char('A'));
    const QString second = summary() + QString(2857, QLatin1Char('9'));
    const QByteArray earlier = "You order : coke \nTotal money is 50\nhave to pay 40\n";
    QVERIFY(writeAll(log(), earlier));

    QProcess a;
    QProcess b;
    QStringList firstArgs = {QString::number(records), first};
    if (firstLimit >= 0)
        firstArgs << QString::number(firstLimit);
    startRecorder(a, firstArgs);
    startRecorder(b, {QString::number(records), second});
    const QStringList firstFailures = failuresOf(a);
    QCOMPARE(failuresOf(b), QStringList());
    QCOMPARE(firstFailures.size(), firstLimit >= 0 ? records : 0);

    const QByteArray log = readAll(this->log());
    QVERIFY(log.startsWith(earlier));
    // As many whole records as were saved, and nothing else.
    const QByteArray firstRecord = onDisk(first.toUtf8() + '\n');
    const QByteArray secondRecord = onDisk(second.toUtf8() + '\n');
    const int firsts = firstLimit >= 0 ? 0 : records;
    QCOMPARE(log.count(firstRecord), firsts);
    QCOMPARE(log.count(secondRecord), records);
    QCOMPARE(log.size(),
             earlier.size() + firsts * firstRecord.size() + records * secondRecord.size());
}

// A file system that cannot sync folders at all, and a disk that fails the sync, as the
// recorder sees them through a preloaded fsync.
void tst_RecordFile::folderSyncFails_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("saved");
    QTest::newRow("cannot sync folders") << EINVAL << true;
    QTest::newRow("input/output error") << EIO << false;
}

void tst_RecordFile::folderSyncFails()
{
#ifdef ORDERING_FSYNC_REFUSAL
    QFETCH(int, error);
    QFETCH(bool, saved);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ORDERING_FSYNC_REFUSAL));
    environment.insert(QStringLiteral("ORDERING_FOLDER_FSYNC_ERROR"), QString::number(error));
    // The sanitizers' runtime would rather be loaded first.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
    QProcess recorder;
    recorder.setProcessEnvironment(environment);
    startRecorder(recorder, {QStringLiteral("1"), summary()});
    QCOMPARE(failuresOf(recorder),
             saved ? QStringList()
                   : QStringList(QStringLiteral("NotSaved\t") + qt_error_string(error)));
    QCOMPARE(readAll(log()), saved ? summary().toUtf8() + '\n' : QByteArray());
#else
    QSKIP("The folder's sync is made to fail through LD_PRELOAD on Linux");
#endif
}

void tst_RecordFile::asAnotherUser_data()
{
    QTest::addColumn<bool>("folderListable");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    const QByteArray record = summary().toUtf8() + '\n';
    // The folder cannot be opened for the sync of a new log's name; the record, already on
    // the disk, is kept and reported saved.
    QTest::newRow("folder written but not listed") << false << QByteArray() << record;
    // Its last byte unread, the log may end mid-line: the record starts on a line of its own.
    QTest::newRow("log written but not read, ending mid-line")
        << true << QByteArray("have to pay 390") << "have to pay 390\n" + record;
}

// On Windows a log that may be written but not read is opened with GENERIC_WRITE alone. Wine
// cannot show it: as root it refuses nothing, and as another user it refuses writing alone as
// well on such a file.
void tst_RecordFile::asAnotherUser()
{
#ifdef Q_OS_UNIX
    QFETCH(bool, folderListable);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    if (!systemRun() || !runningAsRoot())
        QSKIP("Runs as nobody, from root, under the system label");
    if (!before.isNull()) {
        QVERIFY(writeAll(log(), before));
        QVERIFY(
            QFile::setPermissions(log(), QFile::ReadOwner | QFile::WriteOwner | QFile::WriteOther));
    }
    if (!folderListable) {
        QVERIFY(QFile::setPermissions(runPath(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                          | QFile::WriteOther | QFile::ExeOther));
    }
    QProcess recorder;
    startRecorder(recorder, {QStringLiteral("1"), summary()}, true);
    QCOMPARE(failuresOf(recorder), QStringList());
    QCOMPARE(readAll(log()), after);
#else
    QSKIP("File permissions for another user are a Unix facility");
#endif
}

// test.txt on a small ext4 file system of its own; right after one record its disk image is
// copied, as the disk would stand if the power went then.
void tst_RecordFile::survivesPowerCut()
{
#ifdef Q_OS_LINUX
    if (!systemRun() || !runningAsRoot())
        QSKIP("Setting up a loop device needs root: a test under the system label");
    for (const char *tool : {"losetup", "mkfs.ext4", "e2fsck", "mount", "umount"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    const QString image = m_root->filePath(QStringLiteral("disk.img"));
    const QString copy = m_root->filePath(QStringLiteral("copy.img"));
    const QString mounted = runPath();
    QFile disk(image);
    QVERIFY(disk.open(QIODevice::WriteOnly) && disk.resize(16 << 20));
    disk.close();
    QVERIFY(run(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), image}));
    QByteArray device;
    if (!run(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), image},
             &device)) {
        QSKIP("No loop device can be set up here");
    }
    bool attached = true;
    const auto detach = qScopeGuard([&] {
        run(QStringLiteral("umount"), {mounted}, nullptr, {0, 32});
        if (attached)
            run(QStringLiteral("losetup"), {QStringLiteral("-d"), QString::fromLocal8Bit(device)});
    });
    QVERIFY(run(QStringLiteral("mount"), {QString::fromLocal8Bit(device), mounted}));

    QProcess recorder;
    startRecorder(recorder, {QStringLiteral("1"), summary()});
    QCOMPARE(failuresOf(recorder), QStringList());
    QVERIFY(QFile::copy(image, copy));

    QVERIFY(run(QStringLiteral("umount"), {mounted}));
    QVERIFY(run(QStringLiteral("losetup"), {QStringLiteral("-d"), QString::fromLocal8Bit(device)}));
    attached = false;
    // 1: e2fsck mended the file system, as after any power cut; worse is a failure.
    QVERIFY(run(QStringLiteral("e2fsck"), {QStringLiteral("-fy"), copy}, nullptr, {0, 1}));
    QVERIFY(run(QStringLiteral("mount"),
                {QStringLiteral("-o"), QStringLiteral("ro,loop"), copy, mounted}));
    QCOMPARE(readAll(log()), summary().toUtf8() + '\n');
#else
    QSKIP("The power-cut test uses Linux loop devices");
#endif
}

QTEST_GUILESS_MAIN(tst_RecordFile)
#include "tst_recordfile.moc"
