// The cost of one click on the order button and on the record button, the latter with the
// record file empty and with it at 1 GiB.

#include "mainwindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

class bench_Clicks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void orderClick();
    void recordClick_data();
    void recordClick();

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

void bench_Clicks::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_previous = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
}

void bench_Clicks::cleanupTestCase()
{
    QDir::setCurrent(m_previous);
}

void bench_Clicks::orderClick()
{
    MainWindow window;
    window.show();
    for (const char *item : {"burger", "chicken", "tea"})
        window.findChild<QCheckBox *>(QLatin1String(item))->setChecked(true);
    window.findChild<QRadioButton *>(QStringLiteral("yes"))->setChecked(true);
    auto *order = window.findChild<QPushButton *>(QStringLiteral("pushButton"));
    QBENCHMARK {
        order->click();
    }
    QVERIFY(
        window.findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText().endsWith("330"));
}

void bench_Clicks::recordClick_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("0 bytes") << qint64(0);
    QTest::newRow("1 GiB") << (qint64(1) << 30);
}

void bench_Clicks::recordClick()
{
    QFETCH(qint64, size);
    QFile log(QStringLiteral("test.txt"));
    QVERIFY(log.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(log.resize(size)); // sparse: no disk is spent on it
    log.close();

    MainWindow window;
    window.show();
    window.findChild<QTextEdit *>(QStringLiteral("textEdit"))
        ->setPlainText(QStringLiteral("You order : burger \nTotal money is 200\nhave to pay 190"));
    auto *record = window.findChild<QPushButton *>(QStringLiteral("pushButton_2"));
    QBENCHMARK {
        record->click();
    }
    QVERIFY(QFileInfo(log.fileName()).size() > size);
    QVERIFY(QFile::remove(log.fileName()));
}

QTEST_MAIN(bench_Clicks)
#include "bench_clicks.moc"
