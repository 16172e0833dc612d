#include "mainwindow.h"

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QTextEdit>

#include <memory>

#include "ordertest.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString summary()
{
    return QStringLiteral("You order : burger, chicken \nTotal money is 300\nhave to pay 290");
}

#ifdef Q_OS_UNIX
QString cannotSave()
{
    return QStringLiteral("Could not save the order to test.txt: ");
}
#endif

// The bytes a record's text becomes on this platform's disk.
QByteArray onDisk(QByteArray text)
{
#ifdef Q_OS_WIN
    text.replace('\n', "\r\n");
#endif
    return text;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

#ifdef Q_OS_UNIX
bool runningAsRoot()
{
    return geteuid() == 0;
}
#endif

#ifdef Q_OS_LINUX
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
#endif

class Counter
{
public:
    Counter()
    {
        window.show();
        text = window.findChild<QTextEdit *>(QStringLiteral("textEdit"));
    }
    void record()
    {
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButton_2")),
                          Qt::LeftButton);
    }

    MainWindow window;
    QTextEdit *text = nullptr;
};

} // namespace

class tst_OrderRecord : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void content_data();
    void content();
    void recordsOneTallyTwice();
    void openFailure_data();
    void openFailure();
    void diskFull_data();
    void diskFull();
    void fileSizeLimit_data();
    void fileSizeLimit();
    void pipe_data();
    void pipe();
    void twoCopiesAtOnce_data();
    void twoCopiesAtOnce();
    void survivesPowerCut();

private:
    void startRecorder(QProcess &recorder, const QStringList &args, bool unprivileged = false);
    QStringList boxesOf(QProcess &recorder);

    std::unique_ptr<ScratchRun> m_run;
};

void tst_OrderRecord::init()
{
    m_run = std::make_unique<ScratchRun>();
    QVERIFY(m_run->isValid());
}

void tst_OrderRecord::cleanup()
{
    // Give back any permission taken away, so that the scratch tree can be removed.
    QFile::setPermissions(m_run->runPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_run.reset();
}

// A second copy of the program, from the build's own order-recorder. Unprivileged as root, it
// runs as nobody, since permissions do not stop root.
void tst_OrderRecord::startRecorder(QProcess &recorder, const QStringList &args, bool unprivileged)
{
    QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/order-recorder");
#ifdef Q_OS_WIN
    program += QStringLiteral(".exe");
#endif
#ifdef Q_OS_UNIX
    if (unprivileged && runningAsRoot()) {
        const QString root
            = QFileInfo(m_run->runPath() + QStringLiteral("/../..")).absoluteFilePath();
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
            | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(root, open));
        QVERIFY(QFile::setPermissions(root + QStringLiteral("/build"), open));
        QVERIFY(QFile::copy(program, root + QStringLiteral("/order-recorder")));
        program = root + QStringLiteral("/order-recorder");
        recorder.setChildProcessModifier([] {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(125);
        });
    }
#else
    Q_UNUSED(unprivileged);
#endif
    recorder.setWorkingDirectory(m_run->runPath());
    recorder.start(program, args);
}

QStringList tst_OrderRecord::boxesOf(QProcess &recorder)
{
    if (!recorder.waitForFinished(60000) || recorder.exitStatus() != QProcess::NormalExit
        || recorder.exitCode() != 0) {
        return {QStringLiteral("recorder ended with %1: %2")
                    .arg(recorder.exitCode())
                    .arg(QString::fromLocal8Bit(recorder.readAllStandardError()))};
    }
    return QString::fromUtf8(recorder.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

void tst_OrderRecord::content_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QByteArray>("added");

    const QByteArray record = summary().toUtf8() + '\n';
    const QByteArray missing; // no file at all before the first click

    QTest::newRow("first click creates the file") << missing << summary() << 1 << record;
    QTest::newRow("two clicks, two records") << missing << summary() << 2 << record + record;
    QTest::newRow("empty text area creates an empty file")
        << missing << QString() << 1 << QByteArray("");
    QTest::newRow("empty text area adds nothing")
        << QByteArray("earlier\n") << QString() << 3 << QByteArray("");
    QTest::newRow("text ending in a line end") << missing << "one\ntwo\n"
                                               << 2 << QByteArray("one\ntwo\none\ntwo\n");
    QTest::newRow("blank lines kept") << missing << "\n\nx\n\n" << 1 << QByteArray("\n\nx\n\n");
    QTest::newRow("Chinese typed by the cashier")
        << missing << "加辣 漢堡\n不要冰" << 1
        << QByteArray("\xe5\x8a\xa0\xe8\xbe\xa3 "
                      "\xe6\xbc\xa2\xe5\xa0\xa1\n\xe4\xb8\x8d\xe8\xa6\x81\xe5\x86\xb0\n");
    QTest::newRow("after earlier records") << QByteArray("earlier\n") << summary() << 1 << record;
    QTest::newRow("after a log ending mid-line")
        << QByteArray("have to pay 390") << "x" << 1 << QByteArray("\nx\n");
    QTest::newRow("after arbitrary bytes")
        << QByteArray("\xff\xfe\0\r", 4) << "x" << 1 << QByteArray("\nx\n");
}

void tst_OrderRecord::content()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, text);
    QFETCH(int, clicks);
    QFETCH(QByteArray, added);

    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    if (!before.isNull())
        QVERIFY(writeAll(path, before));

    BoxAnswerer answerer;
    Counter counter;
    counter.text->setPlainText(text);
    for (int i = 0; i < clicks; ++i)
        counter.record();

    QVERIFY(QFile::exists(path));
    QCOMPARE(readAll(path), before + onDisk(added));
    QCOMPARE(counter.text->toPlainText(), text);
    QVERIFY(answerer.boxes().isEmpty());
}

void tst_OrderRecord::recordsOneTallyTwice()
{
    Counter counter;
    counter.window.findChild<QCheckBox *>(QStringLiteral("burger"))->setChecked(true);
    counter.window.findChild<QCheckBox *>(QStringLiteral("chicken"))->setChecked(true);
    counter.window.findChild<QRadioButton *>(QStringLiteral("yes"))->setChecked(true);
    QTest::mouseClick(counter.window.findChild<QPushButton *>(QStringLiteral("pushButton")),
                      Qt::LeftButton);
    counter.record();
    counter.record();

    const QByteArray record = onDisk(summary().toUtf8() + '\n');
    QCOMPARE(readAll(QStringLiteral("test.txt")), record + record);
    QCOMPARE(counter.text->toPlainText(), summary());
    QVERIFY(counter.window.findChild<QCheckBox *>(QStringLiteral("burger"))->isChecked());
    QVERIFY(counter.window.findChild<QRadioButton *>(QStringLiteral("yes"))->isChecked());
}

void tst_OrderRecord::openFailure_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("test.txt is a directory") << "directory";
    QTest::newRow("test.txt is read-only") << "read-only file";
    QTest::newRow("directory not writable") << "read-only directory";
    QTest::newRow("test.txt held open without write sharing") << "held open";
}

void tst_OrderRecord::openFailure()
{
    QFETCH(QString, obstacle);
    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    const QByteArray earlier = "earlier\n";
#ifdef Q_OS_WIN
    if (obstacle == "read-only directory")
        QSKIP("A folder's read-only attribute does not stop creating files in it on Windows");
    HANDLE holder = INVALID_HANDLE_VALUE;
    const auto release = qScopeGuard([&holder] {
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
    });
#else
    if (obstacle == "held open")
        QSKIP("Only Windows refuses to share an open file");
#endif

    if (obstacle == "directory") {
        QVERIFY(QDir().mkdir(path));
    } else if (obstacle == "read-only file") {
        QVERIFY(writeAll(path, earlier));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadOther));
#ifdef Q_OS_WIN
        if (QFile probe(path); probe.open(QIODevice::Append))
            QSKIP("The read-only attribute does not stop writing here (Wine as root)");
#endif
    } else if (obstacle == "read-only directory") {
        QVERIFY(QFile::setPermissions(m_run->runPath(),
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther
                                          | QFile::ExeOther));
    } else {
        QVERIFY(writeAll(path, earlier));
#ifdef Q_OS_WIN
        holder
            = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), GENERIC_READ,
                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        QVERIFY(holder != INVALID_HANDLE_VALUE);
#endif
    }

    if (obstacle.startsWith("read-only")) {
        QProcess recorder;
        startRecorder(recorder, {QStringLiteral("1"), summary()}, true);
        QCOMPARE(boxesOf(recorder),
                 QStringList(QStringLiteral("Error Message\tPlease Select a Text File!")));
    } else {
        BoxAnswerer answerer;
        Counter counter;
        counter.text->setPlainText(summary());
        counter.record();

        QCOMPARE(answerer.boxes().size(), 1);
        const auto &box = answerer.boxes().first();
        QCOMPARE(box.title, QStringLiteral("Error Message"));
        QCOMPARE(box.text, QStringLiteral("Please Select a Text File!"));
        QCOMPARE(box.parent, &counter.window);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.icon, QMessageBox::Information);
        QCOMPARE(counter.text->toPlainText(), summary());
    }
    if (obstacle == "directory")
        QVERIFY(QFileInfo(path).isDir());
    else if (obstacle == "read-only directory")
        QVERIFY(!QFile::exists(path));
    else
        QCOMPARE(readAll(path), earlier);
}

void tst_OrderRecord::diskFull_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("short record") << summary();
    QTest::newRow("long record") << QString(40000, QLatin1Char('x'));
}

void tst_OrderRecord::diskFull()
{
    QFETCH(QString, text);
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("No /dev/full here");
    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), path));

    BoxAnswerer answerer;
    Counter counter;
    counter.text->setPlainText(text);
    counter.record();

    QCOMPARE(answerer.boxes().size(), 1);
    const auto &box = answerer.boxes().first();
    QCOMPARE(box.title, QStringLiteral("Error Message"));
#ifdef Q_OS_UNIX
    QCOMPARE(box.text, cannotSave() + qt_error_string(ENOSPC));
#endif
    QCOMPARE(box.parent, &counter.window);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(counter.text->toPlainText(), text);

    // The program goes on: once there is room again, the next click records.
    QVERIFY(QFile::remove(path));
    counter.record();
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(readAll(path), text.toUtf8() + '\n');
}

void tst_OrderRecord::fileSizeLimit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("room");
    QTest::newRow("short record, some room") << summary() << 10;
    QTest::newRow("short record, no room") << summary() << 0;
    QTest::newRow("long record, some room") << QString(40000, QLatin1Char('x')) << 30000;
}

void tst_OrderRecord::fileSizeLimit()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, text);
    QFETCH(int, room);
    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    const QByteArray earlier = "You order : coke \nTotal money is 50\nhave to pay 40";
    QVERIFY(writeAll(path, earlier));

    // The limit's signal is left at its default: a write past the limit must not end the
    // program, however much of the record fits.
    QProcess recorder;
    startRecorder(recorder, {QStringLiteral("1"), text, QString::number(earlier.size() + room)});
    QCOMPARE(
        boxesOf(recorder),
        QStringList(QStringLiteral("Error Message\t") + cannotSave() + qt_error_string(EFBIG)));
    QCOMPARE(readAll(path), earlier);
#else
    QSKIP("File-size limits are a Unix facility");
#endif
}

void tst_OrderRecord::pipe_data()
{
    QTest::addColumn<bool>("reader");
    QTest::newRow("without a reader") << false;
    QTest::newRow("with a reader") << true;
}

void tst_OrderRecord::pipe()
{
#ifdef Q_OS_UNIX
    QFETCH(bool, reader);
    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    // Non-blocking, as opening a pipe for reading waits for a writer.
    const int end
        = reader ? ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK) : -1;
    const auto close = qScopeGuard([end] {
        if (end >= 0)
            ::close(end);
    });
    QCOMPARE(end >= 0, reader);

    BoxAnswerer answerer;
    Counter counter;
    counter.text->setPlainText(summary());
    counter.record();

    if (reader) {
        QVERIFY(answerer.boxes().isEmpty());
        QByteArray received(4096, '\0');
        received.resize(qMax<qsizetype>(::read(end, received.data(), received.size()), 0));
        QCOMPARE(received, summary().toUtf8() + '\n');
    } else {
        QCOMPARE(answerer.boxes().size(), 1);
        QCOMPARE(answerer.boxes().first().text, QStringLiteral("Please Select a Text File!"));
    }
#else
    QSKIP("Named pipes in the working directory are a Unix facility");
#endif
}

void tst_OrderRecord::twoCopiesAtOnce_data()
{
    QTest::addColumn<qint64>("firstLimit");
    QTest::newRow("both record") << qint64(-1);
    // Every click of the first copy fails, since the log is already longer than its limit.
    QTest::newRow("one fails under a file-size limit") << qint64(20);
}

void tst_OrderRecord::twoCopiesAtOnce()
{
    QFETCH(qint64, firstLimit);
#ifndef Q_OS_UNIX
    if (firstLimit >= 0)
        QSKIP("File-size limits are a Unix facility");
#endif
    const int records = 150;
    const QString first(20000, QLatin1Char('A'));
    const QString second
        = QStringLiteral("You order : burger, chicken \nTotal money is 300\nhave to pay ")
        + QString(3000, QLatin1Char('9'));
    const QByteArray earlier = "You order : coke \nTotal money is 50\nhave to pay 40\n";
    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    QVERIFY(writeAll(path, earlier));

    QProcess a;
    QProcess b;
    QStringList firstArgs = {QString::number(records), first};
    if (firstLimit >= 0)
        firstArgs << QString::number(firstLimit);
    startRecorder(a, firstArgs);
    startRecorder(b, {QString::number(records), second});
    const QStringList firstBoxes = boxesOf(a);
    QCOMPARE(boxesOf(b), QStringList());
    QCOMPARE(firstBoxes.size(), firstLimit >= 0 ? records : 0);

    const QByteArray log = readAll(path);
    QVERIFY(log.startsWith(earlier));
    const QByteArray firstRecord = onDisk(first.toUtf8() + '\n');
    const QByteArray secondRecord = onDisk(second.toUtf8() + '\n');
    int firsts = 0;
    int seconds = 0;
    qsizetype at = earlier.size();
    while (at < log.size()) {
        if (log.mid(at, firstRecord.size()) == firstRecord) {
            ++firsts;
            at += firstRecord.size();
        } else if (log.mid(at, secondRecord.size()) == secondRecord) {
            ++seconds;
            at += secondRecord.size();
        } else {
            QFAIL(qPrintable(QStringLiteral("A broken record at byte %1").arg(at)));
        }
    }
    QCOMPARE(firsts, firstLimit >= 0 ? 0 : records);
    QCOMPARE(seconds, records);
}

// test.txt on a small ext4 file system of its own; right after one click its disk image is
// copied, as the disk would stand if the power went then.
void tst_OrderRecord::survivesPowerCut()
{
#ifdef Q_OS_LINUX
    if (!runningAsRoot())
        QSKIP("Setting up a loop device needs root");
    for (const char *tool : {"losetup", "mkfs.ext4", "e2fsck", "mount", "umount"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    const QString root = QFileInfo(m_run->runPath() + QStringLiteral("/../..")).absoluteFilePath();
    const QString image = root + QStringLiteral("/disk.img");
    const QString copy = root + QStringLiteral("/copy.img");
    const QString mounted = m_run->runPath();
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
    QCOMPARE(boxesOf(recorder), QStringList());
    QVERIFY(QFile::copy(image, copy));

    QVERIFY(run(QStringLiteral("umount"), {mounted}));
    QVERIFY(run(QStringLiteral("losetup"), {QStringLiteral("-d"), QString::fromLocal8Bit(device)}));
    attached = false;
    // 1: e2fsck mended the file system, as after any power cut; worse is a failure.
    QVERIFY(run(QStringLiteral("e2fsck"), {QStringLiteral("-fy"), copy}, nullptr, {0, 1}));
    QVERIFY(run(QStringLiteral("mount"),
                {QStringLiteral("-o"), QStringLiteral("ro,loop"), copy, mounted}));
    QCOMPARE(readAll(m_run->runFile(QStringLiteral("test.txt"))), summary().toUtf8() + '\n');
#else
    QSKIP("The power-cut test uses Linux loop devices");
#endif
}

QTEST_MAIN(tst_OrderRecord)
#include "tst_orderrecord.moc"
