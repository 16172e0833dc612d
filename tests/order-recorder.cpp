// Records the text area from a process of its own, as a second copy of the program would:
//   order-recorder COUNT TEXT [FILE-SIZE-LIMIT]
// clicks the record button COUNT times and prints each message box as "title<TAB>text".
// The file-size limit leaves its signal as it is, as a shell's ulimit does.

#include "mainwindow.h"

#include <QPushButton>
#include <QTextEdit>

#include <cstdio>

#include "ordertest.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3)
        return 2;

    MainWindow window;
    window.findChild<QTextEdit *>(QStringLiteral("textEdit"))->setPlainText(args.at(2));
    auto *record = window.findChild<QPushButton *>(QStringLiteral("pushButton_2"));

    if (args.size() > 3) {
#ifdef Q_OS_UNIX
        const rlimit limit = {args.at(3).toULongLong(), args.at(3).toULongLong()};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 3;
#else
        return 3;
#endif
    }

    BoxAnswerer answerer;
    const int count = args.at(1).toInt();
    for (int i = 0; i < count; ++i)
        record->click();
    for (const auto &box : answerer.boxes())
        std::printf("%s\t%s\n", qPrintable(box.title), qPrintable(box.text));
    return 0;
}
