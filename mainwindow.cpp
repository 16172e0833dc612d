#include "mainwindow.h"

#include "ui_mainwindow.h"

#include <QAccessible>
#include <QFontInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTextCursor>
#include <QWindow>

#include <algorithm>

#include "recordfile.h"

namespace {

// The form's rectangles hold captions of 9 points at 96 dots per inch, the toolkit's default,
// and its summary is 12 points there.
constexpr qreal formTextPixels = 12;
constexpr qreal formDpi = 96;
constexpr qreal formSummaryPoints = 12;

QRect scaled(QRect rect, qreal scale)
{
    const QPoint topLeft(qRound(rect.left() * scale), qRound(rect.top() * scale));
    const QPoint end(qRound((rect.left() + rect.width()) * scale),
                     qRound((rect.top() + rect.height()) * scale));
    return {topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y())};
}

// A screen reader hears the new summary while the focus stays on the button.
void announce([[maybe_unused]] QTextEdit *summary)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(summary, summary->toPlainText());
    QAccessible::updateAccessibility(&event);
#endif
}

} // namespace

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
        const char *name;
    } pictures[] = {
        {ui->label, "./chicken.jpg", "炸雞"},  {ui->label_2, "./frice.jpg", "薯條"},
        {ui->label_3, "./burger.jpg", "漢堡"}, {ui->label_4, "./tea.jpg", "檸檬紅茶"},
        {ui->label_5, "./coke.jpg", "可樂"},   {ui->label_6, "./s.jpg", "雪碧"},
    };
    for (const auto &picture : pictures) {
        const QString file = QString::fromLatin1(picture.file);
        const QPixmap pixmap(file);
        picture.label->setStyleSheet(QStringLiteral("border-image:url(%1);").arg(file));
        picture.label->setPixmap(pixmap);
        picture.label->setAccessibleName(QString::fromUtf8(picture.name));
    }
    ui->textEdit->setAccessibleName(QStringLiteral("點餐明細"));
    // A tab typed into the summary would end up in the log; Tab moves on, as everywhere else.
    ui->textEdit->setTabChangesFocus(true);

    // Enter on a focused button presses it, as on Windows. Outside a dialog no button becomes
    // the default one, so Enter pressed elsewhere is left to that widget.
    ui->pushButton->setAutoDefault(true);
    ui->pushButton_2->setAutoDefault(true);

    m_formSize = size();
    const auto children
        = ui->centralwidget->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children)
        m_formGeometry.append({child, child->geometry()});
    followTextSize();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Windows hands a new text size to a running program as a new application font.
    if (event->type() == QEvent::FontChange && !m_formGeometry.isEmpty())
        followTextSize();
}

// Larger system text grows the whole window with it, as far as the screen holds it. Display
// scaling is not in the logical dots per inch, so it is not applied twice.
void MainWindow::followTextSize()
{
    const QScreen *screen = this->screen();
    // A font that no face on the system matches has no size of its own: the asked one stands.
    const qreal shown = QFontInfo(font()).pointSizeF();
    qreal scale = (shown > 0 ? shown : font().pointSizeF()) * logicalDpiY() / 72 / formTextPixels;
    if (scale > 1 && !windowHandle())
        create(); // the frame's size is known only to the native window
    const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    if (screen) {
        const QSize room = available.size().shrunkBy(margins);
        scale = std::min({scale, qreal(room.width()) / m_formSize.width(),
                          qreal(room.height()) / m_formSize.height()});
    }
    scale = std::max<qreal>(scale, 1);
    if (qFuzzyCompare(scale, m_scale))
        return;
    m_scale = scale;

    resize(scaled(QRect(QPoint(), m_formSize), scale).size());
    for (const auto &[child, rect] : std::as_const(m_formGeometry))
        child->setGeometry(scaled(rect, scale));

    QTextCursor all(ui->textEdit->document());
    all.select(QTextCursor::Document);
    QTextCharFormat grown;
    grown.setFontPointSize(summaryPoints());
    all.mergeCharFormat(grown);

    // The platform places a new window; one that grows while shown is moved back inside.
    if (!screen || !isVisible())
        return;
    QRect frame(pos(), size().grownBy(margins));
    frame.moveLeft(
        std::max(available.left(), std::min(frame.left(), available.right() + 1 - frame.width())));
    frame.moveTop(
        std::max(available.top(), std::min(frame.top(), available.bottom() + 1 - frame.height())));
    if (frame.topLeft() != pos())
        move(frame.topLeft());
}

// The summary grows in pixels by the window's scale; the points already follow the dots per inch.
qreal MainWindow::summaryPoints() const
{
    return m_scale > 1 ? formSummaryPoints * m_scale * formDpi / logicalDpiY() : formSummaryPoints;
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::on_pushButton_clicked()
{
    ui->textEdit->setText(QString());
    ui->textEdit->setFontPointSize(summaryPoints());

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
        announce(ui->textEdit);
        return;
    }

    order.remove(order.size() - 2, 1);
    ui->textEdit->append(order);
    ui->textEdit->append(QStringLiteral("Total money is ") + QString::number(total));
    ui->textEdit->append(QStringLiteral("have to pay ") + QString::number(toPay));
    announce(ui->textEdit);
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
    case RecordOutcome::PartSent:
        message = QStringLiteral("Could not save the order to test.txt: ") + outcome.reason
            + QStringLiteral(". Part of the order may reach its reader.");
        break;
    }
    QMessageBox::information(this, QStringLiteral("Error Message"), message);
}
