#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QRect>

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();

private:
    void followTextSize();
    qreal summaryPoints() const;

    Ui::MainWindow *ui;
    QSize m_formSize;
    QList<QPair<QWidget *, QRect>> m_formGeometry;
    qreal m_scale = 1;
};

#endif // MAINWINDOW_H
