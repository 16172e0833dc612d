#include "mainwindow.h"

#include <QAccessible>
#include <QBuffer>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <memory>

#include "ordertest.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#endif

namespace {

const char *const pictureNames[] = {"chicken", "frice", "burger", "tea", "coke", "s"};
const char *const labelNames[] = {"label", "label_2", "label_3", "label_4", "label_5", "label_6"};

void writePicture(const QString &path, const QColor &colour)
{
    QImage image(82, 62, QImage::Format_RGB32);
    image.fill(Qt::blue); // what a picture not stretched over its label shows at the centre
    QPainter(&image).fillRect(32, 22, 18, 18, colour);
    QVERIFY(image.save(path, "JPEG"));
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A well-formed JPEG whose frame header claims 20000 x 20000 pixels.
QByteArray hugeJpeg()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    const qsizetype frame = bytes.indexOf(QByteArray("\xff\xc0", 2));
    if (frame < 0)
        return {};
    for (qsizetype offset : {frame + 5, frame + 7}) {
        bytes[offset] = char(20000 >> 8);
        bytes[offset + 1] = char(20000 & 0xff);
    }
    return bytes;
}

QColor centreColour(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 24 && qAbs(a.green() - b.green()) < 24
        && qAbs(a.blue() - b.blue()) < 24;
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void connectsWithoutWarnings();
    void widgetTree_data();
    void widgetTree();
    void followsTextSize_data();
    void followsTextSize();
    void creationOrder();
    void windowFrame();
    void paymentIsExclusive();
    void clicksReachOnlyTheirOwnSlot_data();
    void clicksReachOnlyTheirOwnSlot();
    void pictures_data();
    void pictures();
    void recordsOneTallyTwice();
    void failureBox_data();
    void failureBox();

private:
    std::unique_ptr<ScratchRun> m_run;
};

void tst_MainWindow::init()
{
    m_run = std::make_unique<ScratchRun>();
    QVERIFY(m_run->isValid());
}

void tst_MainWindow::cleanup()
{
    m_run.reset();
}

void tst_MainWindow::connectsWithoutWarnings()
{
    // A slot whose name matches no child and signal is reported as a warning by the
    // connection by name; any warning while the window is built is a fault.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".+")));
    MainWindow window;
    QVERIFY(window.findChild<QPushButton *>(QStringLiteral("pushButton")));
}

void tst_MainWindow::widgetTree_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tabTo");

    // Tab takes the two payment buttons as one stop.
    const auto row = [](const char *object, const char *className, QRect geometry,
                        const char *caption, const char *name, const char *tabTo) {
        QTest::newRow(object) << QString::fromLatin1(className) << geometry
                              << QString::fromUtf8(caption) << QString::fromUtf8(name)
                              << QString::fromLatin1(tabTo);
    };
    row("chicken", "QCheckBox", {80, 30, 91, 18}, "炸雞100", "炸雞100", "frice");
    row("frice", "QCheckBox", {80, 80, 101, 18}, "薯條200", "薯條200", "burger");
    row("burger", "QCheckBox", {80, 130, 101, 18}, "漢堡200", "漢堡200", "tea");
    row("tea", "QCheckBox", {220, 30, 121, 18}, "檸檬紅茶40", "檸檬紅茶40", "coke");
    row("coke", "QCheckBox", {220, 80, 101, 18}, "可樂50", "可樂50", "sprite");
    row("sprite", "QCheckBox", {220, 130, 101, 18}, "雪碧60", "雪碧60", "yes");
    row("yes", "QRadioButton", {370, 30, 91, 18}, "付現-10", "付現-10", "pushButton");
    row("no", "QRadioButton", {370, 70, 121, 18}, "刷卡", "刷卡", "pushButton");
    row("pushButton", "QPushButton", {360, 130, 80, 18}, "點餐", "點餐", "pushButton_2");
    row("pushButton_2", "QPushButton", {450, 130, 80, 18}, "紀錄", "紀錄", "textEdit");
    row("textEdit", "QTextEdit", {30, 170, 501, 111}, "", "點餐明細", "chicken");
    row("label", "QLabel", {30, 20, 41, 31}, "", "炸雞", "");
    row("label_2", "QLabel", {30, 70, 41, 31}, "", "薯條", "");
    row("label_3", "QLabel", {30, 120, 41, 31}, "", "漢堡", "");
    row("label_4", "QLabel", {170, 20, 41, 31}, "", "檸檬紅茶", "");
    row("label_5", "QLabel", {170, 70, 41, 31}, "", "可樂", "");
    row("label_6", "QLabel", {170, 120, 41, 31}, "", "雪碧", "");
}

void tst_MainWindow::widgetTree()
{
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(QString, name);
    QFETCH(QString, tabTo);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    const QString objectName = QString::fromLatin1(QTest::currentDataTag());
    auto *widget = window.findChild<QWidget *>(objectName);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget(), window.centralWidget());
    QCOMPARE(widget->geometry(), geometry);
    QVERIFY(widget->isVisible());
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        QCOMPARE(button->text(), caption);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), caption);
    QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);

    if (!tabTo.isEmpty()) {
        widget->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(widget, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), window.findChild<QWidget *>(tabTo));
        QVERIFY(window.findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText().isEmpty());
    }
}

void tst_MainWindow::followsTextSize_data()
{
    QTest::addColumn<qreal>("builtAt"); // times the default text
    QTest::addColumn<qreal>("changedTo"); // while the window runs; 0 for no change
    QTest::addColumn<qreal>("displayScale");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qreal>("summaryPoints");

    QTest::newRow("default") << 1.0 << 0.0 << 1.0 << QSize(545, 328) << 12.0;
    QTest::newRow("1.5") << 1.5 << 0.0 << 1.0 << QSize(818, 492) << 18.0;
    QTest::newRow("larger while running") << 1.0 << 1.5 << 1.0 << QSize(818, 492) << 18.0;
    QTest::newRow("default again while running") << 1.5 << 1.0 << 1.0 << QSize(545, 328) << 12.0;
    // The test's screen is 1366 x 768, and the offscreen frame 2 pixels wide.
    QTest::newRow("3, more than the screen holds")
        << 3.0 << 0.0 << 1.0 << QSize(1269, 764) << 12.0 * 764 / 328;
    QTest::newRow("3 while running") << 1.0 << 3.0 << 1.0 << QSize(1269, 764) << 12.0 * 764 / 328;
    // Run alone under QT_SCALE_FACTOR=2, as tst_mainwindow_display_scaled.
    QTest::newRow("display scaled") << 1.0 << 0.0 << 2.0 << QSize(545, 328) << 12.0;
}

void tst_MainWindow::followsTextSize()
{
    QFETCH(qreal, builtAt);
    QFETCH(qreal, changedTo);
    QFETCH(qreal, displayScale);
    QFETCH(QSize, size);
    QFETCH(qreal, summaryPoints);
    if (qApp->devicePixelRatio() != displayScale)
        QSKIP("for another display scale");

    // Where the form puts each widget: the window at the default text, as widgetTree checks it.
    QHash<QString, QRect> inForm;
    QSize formSize;
    {
        const MainWindow form;
        formSize = form.size();
        const auto widgets = form.centralWidget()->findChildren<QWidget *>();
        for (const QWidget *widget : widgets)
            inForm.insert(widget->objectName(), widget->geometry());
    }
    const QFont normal = QApplication::font();
    const auto restore = qScopeGuard([normal] { QApplication::setFont(normal); });
    auto setText = [normal, font = normal](qreal times) mutable {
        font.setPointSizeF(normal.pointSizeF() * times);
        QApplication::setFont(font);
        QCoreApplication::sendPostedEvents(); // the change reaches the widgets as an event
    };
    setText(builtAt);
    Till till;
    QVERIFY(QTest::qWaitForWindowExposed(&till.window));
    till.choose(0, Payment::Card);
    till.order();
    if (changedTo > 0) {
        till.window.move(400, 200); // where a window manager might have put it
        setText(changedTo);
    }

    QCOMPARE(till.window.size(), size);
    QVERIFY(till.window.screen()->availableGeometry().contains(till.window.frameGeometry()));
    QCOMPARE(till.text->document()->begin().begin().fragment().charFormat().fontPointSize(),
             summaryPoints);

    // The form's own overlaps stay: its first column's captions run under the next pictures.
    QWidget *central = till.window.centralWidget();
    const auto widgets = central->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (const QWidget *widget : widgets) {
        const QByteArray name = widget->objectName().toLatin1();
        if (size == formSize)
            QCOMPARE(widget->geometry(), inForm[widget->objectName()]);
        QVERIFY2(central->rect().contains(widget->geometry()), name);
        for (const QWidget *other : widgets) {
            QVERIFY2(other == widget || !widget->geometry().intersects(other->geometry())
                         || inForm[widget->objectName()].intersects(inForm[other->objectName()]),
                     name + " over " + other->objectName().toLatin1());
        }
        if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
            QVERIFY2(button->sizeHint().width() <= button->width()
                         && button->fontMetrics().height() <= button->height(),
                     name);
    }
}

void tst_MainWindow::creationOrder()
{
    MainWindow window;
    QWidget *central = window.centralWidget();
    QVERIFY(central);
    QCOMPARE(central->objectName(), QStringLiteral("centralwidget"));
    QCOMPARE(QString::fromLatin1(central->metaObject()->className()), QStringLiteral("QWidget"));
    QVERIFY(!central->layout());

    QStringList order;
    for (const QObject *child : central->children())
        order << child->objectName();
    const QStringList expected
        = {"chicken", "frice",   "burger",     "tea",          "coke",     "sprite",
           "yes",     "no",      "pushButton", "pushButton_2", "textEdit", "label",
           "label_2", "label_3", "label_4",    "label_5",      "label_6"};
    QCOMPARE(order, expected);

    // Keyboard focus follows the order of creation.
    QStringList focusOrder;
    for (auto *w = window.findChild<QWidget *>(QStringLiteral("chicken"));
         w && focusOrder.size() < 11; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) != 0)
            focusOrder << w->objectName();
    }
    QCOMPARE(focusOrder, expected.mid(0, 11));
}

void tst_MainWindow::windowFrame()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Ordering System"));
    QCOMPARE(window.size(), QSize(545, 328));

    QMenuBar *menuBar = window.menuBar();
    QCOMPARE(menuBar->objectName(), QStringLiteral("menubar"));
    QCOMPARE(menuBar->parentWidget(), &window);
    QVERIFY(menuBar->actions().isEmpty());

    QStatusBar *statusBar = window.statusBar();
    QCOMPARE(statusBar->objectName(), QStringLiteral("statusbar"));
    QCOMPARE(statusBar->parentWidget(), &window);
    QVERIFY(statusBar->currentMessage().isEmpty());
}

void tst_MainWindow::paymentIsExclusive()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *cash = window.findChild<QRadioButton *>(QStringLiteral("yes"));
    auto *card = window.findChild<QRadioButton *>(QStringLiteral("no"));

    QTest::mouseClick(cash, Qt::LeftButton, {}, QPoint(8, 9));
    QVERIFY(cash->isChecked());
    QVERIFY(!card->isChecked());
    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(8, 9));
    QVERIFY(!cash->isChecked());
    QVERIFY(card->isChecked());
    // A chosen payment can be moved but not taken back to none.
    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(8, 9));
    QVERIFY(card->isChecked());
}

void tst_MainWindow::clicksReachOnlyTheirOwnSlot_data()
{
    QTest::addColumn<int>("key"); // 0 for a mouse click
    QTest::addColumn<QString>("textAfter");
    QTest::addColumn<QByteArray>("recordAfter");

    const QString untouched = QStringLiteral("note");
    for (const char *name :
         {"chicken", "frice", "burger", "tea", "coke", "sprite", "yes", "no", "textEdit", "label"})
        QTest::newRow(name) << 0 << untouched << QByteArray();
    QTest::newRow("pushButton") << 0 << "You have to choose a payment method" << QByteArray();
    QTest::newRow("pushButton_2") << 0 << untouched << QByteArray("note\n");
    // Enter presses only a focused button; elsewhere it does what that widget does.
    QTest::newRow("pushButton Enter")
        << int(Qt::Key_Enter) << "You have to choose a payment method" << QByteArray();
    QTest::newRow("pushButton_2 Return")
        << int(Qt::Key_Return) << untouched << QByteArray("note\n");
    QTest::newRow("chicken Return") << int(Qt::Key_Return) << untouched << QByteArray();
    QTest::newRow("textEdit Return") << int(Qt::Key_Return) << "\nnote" << QByteArray();
}

void tst_MainWindow::clicksReachOnlyTheirOwnSlot()
{
    QFETCH(int, key);
    QFETCH(QString, textAfter);
    QFETCH(QByteArray, recordAfter);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *text = window.findChild<QTextEdit *>(QStringLiteral("textEdit"));
    text->setPlainText(QStringLiteral("note"));

    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    auto *widget = window.findChild<QWidget *>(tag.section(QLatin1Char(' '), 0, 0));
    QVERIFY(widget);
    BoxAnswerer answerer;
    if (key == 0) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(10, widget->height() / 2));
    } else {
        widget->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    }

    QCOMPARE(text->toPlainText(), textAfter);
    QFile record(QStringLiteral("test.txt"));
    if (recordAfter.isEmpty()) {
        QVERIFY(!record.exists());
    } else {
        // Read as text: the platform's line ends come back as they were written.
        QVERIFY(record.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(record.readAll(), recordAfter);
    }
    QVERIFY(answerer.boxes().isEmpty());
}

void tst_MainWindow::pictures_data()
{
    QTest::addColumn<QString>("runPictures");
    QTest::addColumn<QString>("formPictures");
    QTest::addColumn<bool>("shown");

    QTest::newRow("both") << "green"
                          << "red" << true;
    QTest::newRow("run only") << "green"
                              << "" << true;
    QTest::newRow("form only") << ""
                               << "red" << false;
    QTest::newRow("none") << ""
                          << "" << false;
    QTest::newRow("random bytes") << "random"
                                  << "red" << false;
    QTest::newRow("huge header") << "huge"
                                 << "red" << false;
    QTest::newRow("empty file") << "empty"
                                << "red" << false;
}

void tst_MainWindow::pictures()
{
    QFETCH(QString, runPictures);
    QFETCH(QString, formPictures);
    QFETCH(bool, shown);

    QByteArray noise(4096, Qt::Uninitialized);
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    noise[0] = '\xff';
    const QByteArray huge = hugeJpeg();
    QVERIFY(!huge.isEmpty());

    for (const char *picture : pictureNames) {
        const QString file = QString::fromLatin1(picture) + ".jpg";
        if (runPictures == "green")
            writePicture(m_run->runFile(file), Qt::green);
        else if (runPictures == "random")
            writeBytes(m_run->runFile(file), noise);
        else if (runPictures == "huge")
            writeBytes(m_run->runFile(file), huge);
        else if (runPictures == "empty")
            writeBytes(m_run->runFile(file), {});
        if (formPictures == "red")
            writePicture(m_run->picturePath() + "/" + file, Qt::red);
    }

    BoxAnswerer answerer;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const char *name : labelNames) {
        auto *label = window.findChild<QLabel *>(QLatin1String(name));
        QVERIFY(label);
        const QPixmap pixmap = label->pixmap();
        QCOMPARE(pixmap.isNull(), !shown);
        if (shown)
            QVERIFY2(near(centreColour(pixmap), Qt::green), name);

        // What the cashier sees: the picture stretched over the label, or nothing.
        const QColor drawn = centreColour(label->grab());
        QVERIFY2(shown == near(drawn, Qt::green), name);
        QVERIFY2(!near(drawn, Qt::red), name);
    }
    QVERIFY(answerer.boxes().isEmpty());
}

void tst_MainWindow::recordsOneTallyTwice()
{
    Till till;
    till.choose(0b000011, Payment::Cash);
    till.order();
    till.record();
    till.record();

    const QByteArray record = onDisk(summary().toUtf8() + '\n');
    QCOMPARE(readAll(QStringLiteral("test.txt")), record + record);
    QCOMPARE(till.text->toPlainText(), summary());
    QVERIFY(till.box("burger")->isChecked());
    QVERIFY(till.radio("yes")->isChecked());
}

void tst_MainWindow::failureBox_data()
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

void tst_MainWindow::failureBox()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, text);
    const QString path = m_run->runFile(QStringLiteral("test.txt"));
    if (obstacle == "directory")
        QVERIFY(QDir().mkdir(path));
    else
        QVERIFY(QFile::link(obstacle, path));

    BoxAnswerer answerer;
    Till till;
    till.text->setPlainText(summary());
    till.record();

    QCOMPARE(answerer.boxes().size(), 1);
    const auto &box = answerer.boxes().first();
    QCOMPARE(box.title, QStringLiteral("Error Message"));
    QCOMPARE(box.text, text);
    QCOMPARE(box.parent, &till.window);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(till.text->toPlainText(), summary());

    // The program goes on: once the obstacle is gone, the next click records.
    QVERIFY(QDir().rmdir(path) || QFile::remove(path));
    till.record();
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(readAll(path), onDisk(summary().toUtf8() + '\n'));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
