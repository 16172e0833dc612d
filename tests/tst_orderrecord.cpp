#include "mainwindow.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>

#include <memory>

#include "ordertest.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#endif

namespace {

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

// What the window adds to the record: the button reaches it, and each way it can fail is told
// to the cashier in a box. The record's own promises are tested with the record itself.
class tst_OrderRecord : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void recordsOneTallyTwice();
    void failureBox_data();
    void failureBox();

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
    m_run.reset();
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

void tst_OrderRecord::failureBox_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("text");
    QTest::newRow("not opened: test.txt is a directory")
        << "directory" << QStringLiteral("Please Select a Text File!");
#ifdef Q_OS_UNIX
    QTest::newRow("not saved: the disk is full")
        << "/dev/full"
        << QStringLiteral("Could not save the order to test.txt: ") + qt_error_string(ENOSPC);
#endif
}

void tst_OrderRecord::failureBox()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, text);
    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    if (obstacle == "directory")
        QVERIFY(QDir().mkdir(path));
    else
        QVERIFY(QFile::link(obstacle, path));

    BoxAnswerer answerer;
    Counter counter;
    counter.text->setPlainText(summary());
    counter.record();

    QCOMPARE(answerer.boxes().size(), 1);
    const auto &box = answerer.boxes().first();
    QCOMPARE(box.title, QStringLiteral("Error Message"));
    QCOMPARE(box.text, text);
    QCOMPARE(box.parent, &counter.window);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(counter.text->toPlainText(), summary());

    // The program goes on: once the obstacle is gone, the next click records.
    QVERIFY(QDir().rmdir(path) || QFile::remove(path));
    counter.record();
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(readAll(path), onDisk(summary().toUtf8() + '\n'));
}

QTEST_MAIN(tst_OrderRecord)
#include "tst_orderrecord.moc"
