#include "mainwindow.h"

#include "ui_mainwindow.h"

#include <QFile>
#include <QMessageBox>
#include <QPixmap>

#include <algorithm>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Ordering System"));

    const struct
    {
        QLabel *label;
        const char *file;
    } pictures[] = {
        {ui->label, "./chicken.jpg"}, {ui->label_2, "./frice.jpg"}, {ui->label_3, "./burger.jpg"},
        {ui->label_4, "./tea.jpg"},   {ui->label_5, "./coke.jpg"},  {ui->label_6, "./s.jpg"},
    };
    for (const auto &picture : pictures) {
        const QString file = QString::fromLatin1(picture.file);
        const QPixmap pixmap(file);
        picture.label->setStyleSheet(QStringLiteral("border-image:url(%1);").arg(file));
        picture.label->setPixmap(pixmap);
    }
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::on_pushButton_clicked()
{
    ui->textEdit->setText(QString());
    ui->textEdit->setFontPointSize(12);

    // The burger is charged the 200 that its caption shows.
    const struct
    {
        const QCheckBox *box;
        const char *word;
        int price;
    } menu[] = {
        {ui->burger, "burger, ", 200}, {ui->chicken, "chicken, ", 100},
        {ui->frice, "frice, ", 200},   {ui->coke, "coke, ", 50},
        {ui->tea, "lemon tea, ", 40},  {ui->sprite, "sprite, ", 60},
    };

    QString order = QStringLiteral("You order : ");
    int total = 0;
    for (const auto &row : menu) {
        if (row.box->checkState() != Qt::Unchecked) {
            order += QLatin1String(row.word);
            total += row.price;
        }
    }

    int toPay = 0;
    if (ui->yes->isChecked()) {
        // The cash discount never turns into a payment to the customer.
        toPay = std::max(total - 10, 0);
    } else if (ui->no->isChecked()) {
        toPay = total;
    } else {
        ui->textEdit->append(QStringLiteral("You have to choose a payment method"));
        return;
    }

    order.remove(order.size() - 2, 1);
    ui->textEdit->append(order);
    ui->textEdit->append(QStringLiteral("Total money is ") + QString::number(total));
    ui->textEdit->append(QStringLiteral("have to pay ") + QString::number(toPay));
}

void MainWindow::on_pushButton_2_clicked()
{
    const QString fileName = QStringLiteral("test.txt");
    QFile file(fileName);
    if (!file.open(QIODevice::Append | QIODevice::Text)) {
        QMessageBox::information(this, QStringLiteral("Error Message"),
                                 QStringLiteral("Please Select a Text File!"));
        return;
    }

    QString text = ui->textEdit->toPlainText();
    if (text.isEmpty())
        return;
    // A record of its own line keeps the next one from running into its last figure.
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    const QByteArray record = text.toUtf8();

    // One write keeps the record whole next to another copy of the program appending at once.
    const qint64 sizeBefore = file.size();
    const bool written = file.write(record) == record.size();
    QString reason = file.errorString();
    // Closing flushes the rest. A file left open after a failed flush would write the tail
    // once more when closed, so it is closed first and only then cut back by name.
    file.close();
    if (written && file.error() == QFileDevice::NoError)
        return;
    if (written)
        reason = file.errorString();

    QFile::resize(fileName, sizeBefore);
    QMessageBox::information(this, QStringLiteral("Error Message"),
                             QStringLiteral("Could not save the order to test.txt: ") + reason);
}
