#include "mainwindow.h"

#include <QAccessible>
#include <QApplication>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTextBlock>

#include "ordertest.h"

namespace {

// What the summary must say, priced as the customer reads the captions: the digits that end
// each one.
QString expected(Till &till, int chosen, Payment payment)
{
    if (payment == Payment::None)
        return QStringLiteral("You have to choose a payment method");
    static const QRegularExpression price(QStringLiteral("\\d+$"));
    QStringList words;
    int total = 0;
    for (int i = 0; i < 6; ++i) {
        if ((chosen & (1 << i)) != 0) {
            words << QString::fromLatin1(menu[i].word);
            total += price.match(till.box(menu[i].box)->text()).captured().toInt();
        }
    }
    const QString order
        = words.isEmpty() ? QStringLiteral("You order  ") : "You order : " + words.join(", ") + " ";
    const int toPay = payment == Payment::Cash ? qMax(0, total - 10) : total;
    return QStringLiteral("%1\nTotal money is %2\nhave to pay %3").arg(order).arg(total).arg(toPay);
}

} // namespace

Q_DECLARE_METATYPE(Payment)

class tst_OrderTally : public QObject
{
    Q_OBJECT

private slots:
    void everyOrder_data();
    void everyOrder();
    void knownOrders_data();
    void knownOrders();
    void clickLeavesOnlyTheSummary();
    void partlyCheckedCounts();
    void announcesTheSummary();
};

void tst_OrderTally::everyOrder_data()
{
    QTest::addColumn<int>("chosen");
    QTest::addColumn<Payment>("payment");

    const std::pair<Payment, const char *> payments[]
        = {{Payment::Cash, "cash"}, {Payment::Card, "card"}, {Payment::None, "none"}};
    for (int chosen = 0; chosen < 64; ++chosen) {
        for (const auto &[payment, name] : payments)
            QTest::addRow("items %02d, %s", chosen, name) << chosen << payment;
    }
}

void tst_OrderTally::everyOrder()
{
    QFETCH(int, chosen);
    QFETCH(Payment, payment);

    Till till;
    till.choose(chosen, payment);
    QCOMPARE(till.order(), expected(till, chosen, payment));
}

void tst_OrderTally::knownOrders_data()
{
    QTest::addColumn<int>("chosen");
    QTest::addColumn<Payment>("payment");
    QTest::addColumn<QString>("summary");

    QTest::newRow("burger and chicken, cash")
        << 0b000011 << Payment::Cash
        << "You order : burger, chicken \nTotal money is 300\nhave to pay 290";
    QTest::newRow("nothing, cash")
        << 0 << Payment::Cash << "You order  \nTotal money is 0\nhave to pay 0";
    QTest::newRow("nothing, card")
        << 0 << Payment::Card << "You order  \nTotal money is 0\nhave to pay 0";
    QTest::newRow("everything, card")
        << 0b111111 << Payment::Card
        << "You order : burger, chicken, frice, coke, lemon tea, sprite \n"
           "Total money is 650\nhave to pay 650";
    QTest::newRow("everything, cash")
        << 0b111111 << Payment::Cash
        << "You order : burger, chicken, frice, coke, lemon tea, sprite \n"
           "Total money is 650\nhave to pay 640";
    QTest::newRow("burger, card") << 0b000001 << Payment::Card
                                  << "You order : burger \nTotal money is 200\nhave to pay 200";
    QTest::newRow("tea, cash") << 0b010000 << Payment::Cash
                               << "You order : lemon tea \nTotal money is 40\nhave to pay 30";
    QTest::newRow("coke, cash") << 0b001000 << Payment::Cash
                                << "You order : coke \nTotal money is 50\nhave to pay 40";
    QTest::newRow("items, no payment")
        << 0b000011 << Payment::None << "You have to choose a payment method";
}

void tst_OrderTally::knownOrders()
{
    QFETCH(int, chosen);
    QFETCH(Payment, payment);
    QFETCH(QString, summary);

    Till till;
    till.choose(chosen, payment);
    QCOMPARE(till.order(), summary);
}

void tst_OrderTally::clickLeavesOnlyTheSummary()
{
    Till till;
    till.choose(0b100010, Payment::Card);
    till.text->setPlainText(QStringLiteral("typed by the cashier\nsecond line"));

    const QString summary = expected(till, 0b100010, Payment::Card);
    QCOMPARE(till.order(), summary);
    QCOMPARE(till.order(), summary);
    QCOMPARE(till.text->document()->blockCount(), 3);

    for (int i = 0; i < 6; ++i)
        QCOMPARE(till.box(menu[i].box)->isChecked(), i == 1 || i == 5);
    QVERIFY(till.radio("no")->isChecked());
    QVERIFY(!till.radio("yes")->isChecked());

    for (QTextBlock block = till.text->document()->begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment)
            QCOMPARE(fragment.fragment().charFormat().fontPointSize(), 12.0);
    }

    // An order that lacks its payment replaces the summary too.
    till.radio("no")->setAutoExclusive(false);
    till.radio("no")->setChecked(false);
    QCOMPARE(till.order(), expected(till, 0b100010, Payment::None));
    QCOMPARE(till.text->document()->blockCount(), 1);
}

void tst_OrderTally::partlyCheckedCounts()
{
    Till till;
    till.choose(0, Payment::Card);
    QCheckBox *coke = till.box("coke");
    coke->setTristate(true);
    coke->setCheckState(Qt::PartiallyChecked);
    QCOMPARE(till.order(), expected(till, 0b001000, Payment::Card));
}

void tst_OrderTally::announcesTheSummary()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    QSKIP("Announcements to screen readers arrived with Qt 6.8");
#else
    static QStringList heard;
    heard.clear();
    const auto before = QAccessible::installUpdateHandler([](QAccessibleEvent *event) {
        if (event->type() == QAccessible::Announcement)
            heard << static_cast<QAccessibleAnnouncementEvent *>(event)->message();
    });
    const auto restore = qScopeGuard([before] { QAccessible::installUpdateHandler(before); });

    Till till;
    till.choose(0b000001, Payment::Cash);
    auto *button = till.window.findChild<QPushButton *>(QStringLiteral("pushButton"));
    button->setFocus();
    const QString summary = till.order();
    QCOMPARE(heard, QStringList {summary});
    QCOMPARE(till.window.focusWidget(), button);
#endif
}

QTEST_MAIN(tst_OrderTally)
#include "tst_ordertally.moc"
