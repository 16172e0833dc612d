#include "mainwindow.h"

#include "ui_mainwindow.h"

#include <QMessageBox>
#include <QPixmap>

#include <algorithm>

#include "recordfile.h"

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
    const RecordOutcome outcome
        = appendRecord(QStringLiteral("test.txt"), ui->textEdit->toPlainText());
    QString message;
    switch (outcome.status) {
    case RecordOutcome::Saved:
        return;
    case RecordOutcome::NotOpened:
        message = QStringLiteral("Please Select a Text File!");
        break;
    case RecordOutcome::NotSaved:
        message = QStringLiteral("Could not save the order to test.txt: ") + outcome.reason;
        break;
    case RecordOutcome::PartLeft:
        message = QStringLiteral("Could not save the order to test.txt: ") + outcome.reason
            + QStringLiteral(". Part of the order may remain at the end of the file.");
        break;
    }
    QMessageBox::information(this, QStringLiteral("Error Message"), message);
}
