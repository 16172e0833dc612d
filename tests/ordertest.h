#ifndef ORDERTEST_H
#define ORDERTEST_H

#include "mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

// An order summary as the order button writes it.
inline QString summary()
{
    return QStringLiteral("You order : burger, chicken \nTotal money is 300\nhave to pay 290");
}

// The bytes a record's text becomes on this platform's disk.
inline QByteArray onDisk(QByteArray text)
{
#ifdef Q_OS_WIN
    text.replace('\n', "\r\n");
#endif
    return text;
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A scratch tree laid out like a shadow build: the window runs in root/build/run, so
// "../../picture/" is root/picture. The working directory is restored afterwards.
class ScratchRun
{
public:
    ScratchRun()
        : m_previous(QDir::currentPath())
    {
        QDir(m_root.path()).mkpath(QStringLiteral("picture"));
        QDir(m_root.path()).mkpath(QStringLiteral("build/run"));
        QDir::setCurrent(runPath());
    }
    ~ScratchRun() { QDir::setCurrent(m_previous); }
    ScratchRun(const ScratchRun &) = delete;
    ScratchRun &operator=(const ScratchRun &) = delete;

    bool isValid() const { return m_root.isValid(); }
    QString runPath() const { return m_root.filePath(QStringLiteral("build/run")); }
    QString picturePath() const { return m_root.filePath(QStringLiteral("picture")); }
    QString runFile(const QString &name) const { return runPath() + QLatin1Char('/') + name; }

private:
    QTemporaryDir m_root;
    QString m_previous;
};

// Answers every message box that comes up, as a cashier would by pressing its OK button,
// and remembers what each one said. Without it a test would hang on the modal box.
class BoxAnswerer
{
public:
    struct Box
    {
        QString title;
        QString text;
        QWidget *parent;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon;
    };

    BoxAnswerer()
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { answer(); });
        m_timer.start(10);
    }
    const QList<Box> &boxes() const { return m_boxes; }

private:
    void answer()
    {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows) {
            auto *box = qobject_cast<QMessageBox *>(window);
            if (!box || !box->isVisible() || m_answered.contains(box))
                continue;
            m_answered.append(box);
            m_boxes.append({box->windowTitle(), box->text(), box->parentWidget(),
                            box->standardButtons(), box->icon()});
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        }
    }

    QTimer m_timer;
    QList<Box> m_boxes;
    QList<QPointer<QMessageBox>> m_answered;
};

enum class Payment { Cash, Card, None };

struct MenuItem
{
    const char *box;
    const char *word;
};

// The menu in the order the summary names the items, with the words it names them by.
inline constexpr MenuItem menu[] = {
    {"burger", "burger"}, {"chicken", "chicken"}, {"frice", "frice"},
    {"coke", "coke"},     {"tea", "lemon tea"},   {"sprite", "sprite"},
};

// The window worked as a cashier works it, with clicks from where it starts.
class Till
{
public:
    Till()
    {
        window.show();
        text = window.findChild<QTextEdit *>(QStringLiteral("textEdit"));
    }

    QCheckBox *box(const char *name) { return window.findChild<QCheckBox *>(QLatin1String(name)); }

    QRadioButton *radio(const char *name)
    {
        return window.findChild<QRadioButton *>(QLatin1String(name));
    }

    // Ticks only the chosen boxes, so a box that starts ticked spoils the order.
    void choose(int chosen, Payment payment)
    {
        for (int i = 0; i < 6; ++i) {
            if ((chosen & (1 << i)) != 0)
                QTest::mouseClick(box(menu[i].box), Qt::LeftButton, {}, QPoint(8, 9));
        }
        if (payment != Payment::None)
            QTest::mouseClick(radio(payment == Payment::Cash ? "yes" : "no"), Qt::LeftButton, {},
                              QPoint(8, 9));
    }

    QString order()
    {
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButton")),
                          Qt::LeftButton);
        return text->toPlainText();
    }

    void record()
    {
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButton_2")),
                          Qt::LeftButton);
    }

    MainWindow window;
    QTextEdit *text = nullptr;
};

#endif // ORDERTEST_H
