// The floor of start-up: an empty main window of the ordering window's size and title.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(545, 328);
    window.setWindowTitle(QStringLiteral("Ordering System"));
    window.show();
    return app.exec();
}
