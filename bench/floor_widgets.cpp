// The floor of start-up with the ordering window's widgets, rectangles and captions, built
// in one pass: no pictures, no style sheets, no handlers.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTextEdit>

namespace {

template<typename Widget> void place(QWidget *parent, QRect rect, const char *caption = nullptr)
{
    auto *widget = new Widget(parent);
    widget->setGeometry(rect);
    if constexpr (std::is_base_of_v<QAbstractButton, Widget>)
        widget->setText(QString::fromUtf8(caption));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(545, 328);
    auto *central = new QWidget(&window);
    place<QCheckBox>(central, {80, 30, 91, 18}, "炸雞100");
    place<QCheckBox>(central, {80, 80, 101, 18}, "薯條200");
    place<QCheckBox>(central, {80, 130, 101, 18}, "漢堡200");
    place<QCheckBox>(central, {220, 30, 121, 18}, "檸檬紅茶40");
    place<QCheckBox>(central, {220, 80, 101, 18}, "可樂50");
    place<QCheckBox>(central, {220, 130, 101, 18}, "雪碧60");
    place<QRadioButton>(central, {370, 30, 91, 18}, "付現-10");
    place<QRadioButton>(central, {370, 70, 121, 18}, "刷卡");
    place<QPushButton>(central, {360, 130, 80, 18}, "點餐");
    place<QPushButton>(central, {450, 130, 80, 18}, "紀錄");
    place<QTextEdit>(central, {30, 170, 501, 111});
    for (const QRect &rect :
         {QRect(30, 20, 41, 31), QRect(30, 70, 41, 31), QRect(30, 120, 41, 31),
          QRect(170, 20, 41, 31), QRect(170, 70, 41, 31), QRect(170, 120, 41, 31)})
        place<QLabel>(central, rect);
    window.setCentralWidget(central);
    auto *menuBar = new QMenuBar(&window);
    menuBar->setGeometry(0, 0, 545, 17);
    window.setMenuBar(menuBar);
    window.setStatusBar(new QStatusBar(&window));
    window.setWindowTitle(QStringLiteral("Ordering System"));
    window.show();
    return app.exec();
}
