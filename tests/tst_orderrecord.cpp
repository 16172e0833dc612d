#include "mainwindow.h"

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>

#include <memory>

#include "ordertest.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

QString summary()
{
    return QStringLiteral("You order : burger, chicken \nTotal money is 300\nhave to pay 290");
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

bool runningAsRoot()
{
#ifdef Q_OS_UNIX
    return geteuid() == 0;
#else
    return false;
#endif
}

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
    void twoProgramsAtOnce();

private:
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

void tst_OrderRecord::content_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QByteArray>("after");

    const QByteArray record = summary().toUtf8() + '\n';
    const QByteArray missing; // no file at all before the first click

    QTest::newRow("first click creates the file") << missing << summary() << 1 << record;
    QTest::newRow("two clicks, two records") << missing << summary() << 2 << record + record;
    QTest::newRow("empty text area creates an empty file")
        << missing << QString() << 1 << QByteArray("");
    QTest::newRow("empty text area adds nothing")
        << QByteArray("earlier\n") << QString() << 3 << QByteArray("earlier\n");
    QTest::newRow("text ending in a line end") << missing << "one\ntwo\n"
                                               << 2 << QByteArray("one\ntwo\none\ntwo\n");
    QTest::newRow("blank lines kept") << missing << "\n\nx\n\n" << 1 << QByteArray("\n\nx\n\n");
    QTest::newRow("Chinese typed by the cashier")
        << missing << "加辣 漢堡\n不要冰" << 1
        << QByteArray("\xe5\x8a\xa0\xe8\xbe\xa3 "
                      "\xe6\xbc\xa2\xe5\xa0\xa1\n\xe4\xb8\x8d\xe8\xa6\x81\xe5\x86\xb0\n");
    QTest::newRow("after earlier records")
        << QByteArray("earlier\n") << summary() << 1 << "earlier\n" + record;
    QTest::newRow("after a record without line end")
        << QByteArray("have to pay 390") << "x" << 1 << QByteArray("have to pay 390x\n");
    QTest::newRow("after arbitrary bytes")
        << QByteArray("\xff\xfe\0\r", 4) << "x" << 1 << QByteArray("\xff\xfe\0\rx\n", 6);
}

void tst_OrderRecord::content()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, text);
    QFETCH(int, clicks);
    QFETCH(QByteArray, after);

    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    if (!before.isNull())
        QVERIFY(writeAll(path, before));

    BoxAnswerer answerer;
    Counter counter;
    counter.text->setPlainText(text);
    for (int i = 0; i < clicks; ++i)
        counter.record();

    QVERIFY(QFile::exists(path));
    QCOMPARE(readAll(path), after);
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

    const QByteArray record = summary().toUtf8() + '\n';
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
}

void tst_OrderRecord::openFailure()
{
    QFETCH(QString, obstacle);
    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    if (obstacle != "directory" && runningAsRoot())
        QSKIP("Permissions do not stop root from writing");

    if (obstacle == "directory") {
        QVERIFY(QDir().mkdir(path));
    } else if (obstacle == "read-only file") {
        QVERIFY(writeAll(path, "earlier\n"));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    } else {
        QVERIFY(QFile::setPermissions(m_run->runPath(), QFile::ReadOwner | QFile::ExeOwner));
    }

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
    if (obstacle == "directory")
        QVERIFY(QFileInfo(path).isDir());
    else if (obstacle == "read-only file")
        QCOMPARE(readAll(path), QByteArray("earlier\n"));
    else
        QVERIFY(!QFile::exists(path));
}

void tst_OrderRecord::diskFull_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("short record") << summary();
    // Longer than the file's own buffer, so it goes to the disk in the write itself.
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
    const QString prefix = QStringLiteral("Could not save the order to test.txt: ");
    QVERIFY2(box.text.startsWith(prefix) && box.text.size() > prefix.size(), qPrintable(box.text));
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
#ifndef Q_OS_UNIX
    QSKIP("File-size limits are a Unix facility");
#endif
    QFETCH(QString, text);
    QFETCH(int, room);
    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    const QByteArray earlier = "You order : coke \nTotal money is 50\nhave to pay 40\n";
    QVERIFY(writeAll(path, earlier));

    QProcess recorder;
    recorder.setWorkingDirectory(m_run->runPath());
    recorder.start(QStringLiteral(ORDER_RECORDER),
                   {QStringLiteral("1"), text, QString::number(earlier.size() + room)});
    QVERIFY(recorder.waitForFinished(60000));
    QCOMPARE(recorder.exitStatus(), QProcess::NormalExit);
    QCOMPARE(recorder.exitCode(), 0);

    const QString boxes = QString::fromUtf8(recorder.readAllStandardOutput());
    QVERIFY2(
        boxes.startsWith(QStringLiteral("Error Message\tCould not save the order to test.txt: ")),
        qPrintable(boxes));
    QCOMPARE(boxes.count(QLatin1Char('\n')), 1);
    QCOMPARE(readAll(path), earlier);
}

void tst_OrderRecord::twoProgramsAtOnce()
{
    const int records = 150;
    const QString first(20000, QLatin1Char('A'));
    const QString second
        = QStringLiteral("You order : burger, chicken \nTotal money is 300\nhave to pay ")
        + QString(3000, QLatin1Char('9'));

    QProcess a;
    QProcess b;
    for (QProcess *recorder : {&a, &b})
        recorder->setWorkingDirectory(m_run->runPath());
    a.start(QStringLiteral(ORDER_RECORDER), {QString::number(records), first});
    b.start(QStringLiteral(ORDER_RECORDER), {QString::number(records), second});
    for (QProcess *recorder : {&a, &b}) {
        QVERIFY(recorder->waitForFinished(60000));
        QCOMPARE(recorder->exitCode(), 0);
        QVERIFY(recorder->readAllStandardOutput().isEmpty());
    }

    QByteArray log = readAll(m_run->runFile(QStringLiteral("test.txt")));
    const QByteArray firstRecord = first.toUtf8() + '\n';
    const QByteArray secondRecord = second.toUtf8() + '\n';
    int firsts = 0;
    int seconds = 0;
    qsizetype at = 0;
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
    QCOMPARE(firsts, records);
    QCOMPARE(seconds, records);
}

QTEST_MAIN(tst_OrderRecord)
#include "tst_orderrecord.moc"
