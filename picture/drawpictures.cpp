// Draws the six menu pictures and the program's icon. Run it from the picture folder:
//   cmake --build build/release --target draw-pictures && (cd picture &&
//   ../build/release/draw-pictures)

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>
#include <utility>

namespace {

constexpr int width = 164;
constexpr int height = 124;

void background(QPainter &p, const QColor &top, const QColor &bottom)
{
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, top);
    sky.setColorAt(1, bottom);
    p.fillRect(0, 0, width, height, sky);
}

void drumstick(QPainter &p, QPointF at, qreal angle)
{
    p.save();
    p.translate(at);
    p.rotate(angle);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 238, 220));
    p.drawRoundedRect(QRectF(28, -5, 26, 10), 4, 4);
    p.drawEllipse(QPointF(54, -6), 7, 7);
    p.drawEllipse(QPointF(54, 6), 7, 7);
    QPainterPath meat;
    meat.moveTo(32, -9);
    meat.cubicTo(10, -30, -38, -26, -40, 0);
    meat.cubicTo(-38, 26, 10, 30, 32, 9);
    meat.closeSubpath();
    QRadialGradient crust(QPointF(-10, -8), 44);
    crust.setColorAt(0, QColor(235, 165, 60));
    crust.setColorAt(1, QColor(160, 80, 20));
    p.setBrush(crust);
    p.setPen(QPen(QColor(120, 60, 15), 2));
    p.drawPath(meat);
    p.setPen(QPen(QColor(215, 140, 50), 3, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 6; ++i)
        p.drawPoint(QPointF(-28 + 9 * i, (i % 2 == 1 ? -8 : 7)));
    p.restore();
}

void chicken(QPainter &p)
{
    background(p, QColor(255, 244, 214), QColor(250, 220, 160));
    drumstick(p, QPointF(62, 46), -20);
    drumstick(p, QPointF(78, 82), 15);
}

void fries(QPainter &p)
{
    background(p, QColor(255, 250, 225), QColor(255, 230, 170));
    p.setPen(QPen(QColor(200, 140, 20), 1.5));
    for (int i = 0; i < 11; ++i) {
        const qreal x = 44 + i * 7.5;
        const qreal top = 8 + (i * 37 % 17);
        p.setBrush(i % 2 == 1 ? QColor(255, 214, 60) : QColor(250, 196, 40));
        p.save();
        p.translate(x, top);
        p.rotate((i - 5) * 3);
        p.drawRect(QRectF(-4, 0, 8, 70));
        p.restore();
    }
    QPainterPath box;
    box.moveTo(36, 52);
    box.lineTo(128, 52);
    box.lineTo(116, 120);
    box.lineTo(48, 120);
    box.closeSubpath();
    p.setPen(QPen(QColor(140, 0, 0), 2));
    p.setBrush(QColor(215, 25, 30));
    p.drawPath(box);
    p.setPen(QPen(QColor(255, 255, 255), 4));
    p.drawLine(QPointF(42, 84), QPointF(122, 84));
}

void burger(QPainter &p)
{
    background(p, QColor(235, 245, 255), QColor(200, 225, 245));
    p.setPen(QPen(QColor(130, 70, 20), 1.5));
    p.setBrush(QColor(225, 150, 60));
    p.drawRoundedRect(QRectF(22, 94, 120, 20), 8, 8);
    p.setBrush(QColor(95, 50, 25));
    p.drawRoundedRect(QRectF(18, 74, 128, 20), 9, 9);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 200, 30));
    QPolygonF cheese;
    cheese << QPointF(18, 70) << QPointF(146, 70) << QPointF(140, 80) << QPointF(112, 80)
           << QPointF(104, 90) << QPointF(96, 80) << QPointF(24, 80);
    p.drawPolygon(cheese);
    p.setBrush(QColor(70, 170, 50));
    QPainterPath lettuce;
    lettuce.moveTo(14, 66);
    for (int i = 0; i <= 10; ++i)
        lettuce.quadTo(20 + i * 13.6, 78 - (i % 2) * 4, 27 + i * 13.6, 66);
    lettuce.lineTo(150, 62);
    lettuce.lineTo(14, 62);
    lettuce.closeSubpath();
    p.drawPath(lettuce);
    p.setPen(QPen(QColor(130, 70, 20), 1.5));
    QRadialGradient bun(QPointF(70, 30), 80);
    bun.setColorAt(0, QColor(245, 180, 90));
    bun.setColorAt(1, QColor(200, 120, 40));
    p.setBrush(bun);
    p.drawChord(QRectF(18, 12, 128, 104), 0, 180 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 248, 225));
    const QPointF seeds[]
        = {{50, 30}, {72, 22}, {96, 26}, {116, 36}, {62, 44}, {86, 40}, {40, 50}, {106, 52}};
    for (const QPointF &seed : seeds)
        p.drawEllipse(seed, 4, 2.5);
}

void lemonSlice(QPainter &p, QPointF centre, qreal radius, const QColor &rind, const QColor &flesh)
{
    p.setPen(Qt::NoPen);
    p.setBrush(rind);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(QColor(255, 255, 235));
    p.drawEllipse(centre, radius * 0.85, radius * 0.85);
    p.setBrush(flesh);
    for (int i = 0; i < 8; ++i)
        p.drawPie(QRectF(centre.x() - radius * 0.78, centre.y() - radius * 0.78, radius * 1.56,
                         radius * 1.56),
                  i * 45 * 16 + 4 * 16, 37 * 16);
}

void glass(QPainter &p, const QColor &drink)
{
    QPainterPath cup;
    cup.moveTo(46, 18);
    cup.lineTo(118, 18);
    cup.lineTo(108, 118);
    cup.lineTo(56, 118);
    cup.closeSubpath();
    p.setPen(QPen(QColor(150, 170, 190), 2));
    p.setBrush(QColor(255, 255, 255, 120));
    p.drawPath(cup);
    QPainterPath liquid;
    liquid.moveTo(49, 36);
    liquid.lineTo(115, 36);
    liquid.lineTo(106.5, 116);
    liquid.lineTo(57.5, 116);
    liquid.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(drink);
    p.drawPath(liquid);
}

void tea(QPainter &p)
{
    background(p, QColor(255, 252, 235), QColor(240, 230, 200));
    p.setPen(QPen(QColor(40, 120, 60), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(96, 100), QPointF(126, 4));
    glass(p, QColor(170, 60, 20));
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawRoundedRect(QRectF(60, 44, 18, 16), 3, 3);
    p.drawRoundedRect(QRectF(82, 56, 18, 16), 3, 3);
    lemonSlice(p, QPointF(48, 30), 22, QColor(240, 200, 0), QColor(255, 230, 60));
}

void can(QPainter &p, const QColor &body, const QColor &band)
{
    QLinearGradient shade(0, 0, width, 0);
    shade.setColorAt(0.25, body.darker(140));
    shade.setColorAt(0.45, body.lighter(130));
    shade.setColorAt(0.75, body.darker(120));
    p.setPen(QPen(body.darker(180), 1.5));
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(44, 14, 56, 104), 8, 8);
    p.setBrush(QColor(200, 200, 205));
    p.drawEllipse(QRectF(46, 8, 52, 12));
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    QPainterPath wave;
    wave.moveTo(45, 70);
    wave.cubicTo(60, 52, 80, 88, 99, 60);
    wave.lineTo(99, 72);
    wave.cubicTo(80, 100, 60, 64, 45, 82);
    wave.closeSubpath();
    p.drawPath(wave);
}

void cola(QPainter &p)
{
    background(p, QColor(245, 245, 250), QColor(215, 215, 225));
    can(p, QColor(210, 20, 30), QColor(255, 255, 255));
    p.setPen(QPen(QColor(90, 40, 20), 1));
    p.setBrush(QColor(60, 25, 10));
    p.drawRoundedRect(QRectF(108, 56, 40, 62), 5, 5);
    p.setBrush(QColor(235, 225, 205));
    p.drawRect(QRectF(108, 52, 40, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    const QPointF bubbles[] = {{116, 70}, {126, 84}, {138, 74}, {120, 100}, {134, 106}};
    for (const QPointF &bubble : bubbles)
        p.drawEllipse(bubble, 2.5, 2.5);
}

void soda(QPainter &p)
{
    background(p, QColor(235, 255, 240), QColor(200, 240, 210));
    can(p, QColor(20, 140, 60), QColor(255, 230, 40));
    lemonSlice(p, QPointF(124, 40), 20, QColor(90, 170, 30), QColor(170, 220, 70));
    lemonSlice(p, QPointF(130, 92), 20, QColor(240, 200, 0), QColor(255, 230, 60));
}

// The program's icon on a 256 × 256 grid: a burger on a red tile.
void icon(QPainter &p)
{
    QLinearGradient tile(0, 16, 0, 240);
    tile.setColorAt(0, QColor(230, 50, 35));
    tile.setColorAt(1, QColor(175, 20, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

    QPainterPath top;
    top.moveTo(40, 120);
    top.cubicTo(40, 40, 216, 40, 216, 120);
    top.closeSubpath();
    p.setBrush(QColor(250, 175, 60));
    p.drawPath(top);
    p.setBrush(QColor(255, 240, 200));
    for (const QPointF &seed : {QPointF(100, 80), QPointF(136, 70), QPointF(166, 90)})
        p.drawEllipse(seed, 8, 5);
    QPainterPath lettuce;
    lettuce.moveTo(34, 124);
    for (int i = 0; i <= 8; ++i)
        lettuce.lineTo(34 + i * 23.5, i % 2 == 1 ? 146 : 128);
    lettuce.lineTo(222, 124);
    lettuce.closeSubpath();
    p.setBrush(QColor(90, 190, 50));
    p.drawPath(lettuce);
    p.setBrush(QColor(110, 55, 25));
    p.drawRoundedRect(QRectF(40, 140, 176, 34), 17, 17);
    p.setBrush(QColor(240, 160, 55));
    p.drawRoundedRect(QRectF(44, 178, 168, 36), 14, 14);
}

// An ICO file of the icon at Windows' usual sizes: the small ones as 32-bit bitmaps, which
// every part of Windows reads, 256 as PNG, as Windows' own icons keep it.
QByteArray iconFile()
{
    const int sizes[] = {16, 24, 32, 48, 64, 256};
    QList<QByteArray> images;
    for (const int size : sizes) {
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 256.0, size / 256.0);
        icon(painter);
        painter.end();

        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (size == 256) {
            image.save(&buffer, "PNG");
        } else {
            // A bitmap header of twice the height, the colour rows bottom up, then an all-clear
            // transparency mask whose rows are padded to 32 bits.
            QDataStream out(&buffer);
            out.setByteOrder(QDataStream::LittleEndian);
            const int maskRow = (size + 31) / 32 * 4;
            out << quint32(40) << qint32(size) << qint32(2 * size) << quint16(1) << quint16(32)
                << quint32(0) << quint32(size * size * 4 + maskRow * size) << qint32(0) << qint32(0)
                << quint32(0) << quint32(0);
            for (int y = size - 1; y >= 0; --y) {
                const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
                for (int x = 0; x < size; ++x)
                    out << quint32(row[x]);
            }
            for (int i = 0; i < maskRow * size; ++i)
                out << quint8(0);
        }
        images.append(bytes);
    }

    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * quint32(images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        const int size = sizes[i];
        out << quint8(size == 256 ? 0 : size) << quint8(size == 256 ? 0 : size) << quint8(0)
            << quint8(0) << quint16(1) << quint16(32) << quint32(images[i].size()) << offset;
        offset += quint32(images[i].size());
    }
    for (const QByteArray &image : std::as_const(images))
        out.writeRawData(image.constData(), int(image.size()));
    return file;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const struct
    {
        const char *file;
        std::function<void(QPainter &)> draw;
    } pictures[] = {
        {"chicken.jpg", chicken}, {"frice.jpg", fries}, {"burger.jpg", burger},
        {"tea.jpg", tea},         {"coke.jpg", cola},   {"s.jpg", soda},
    };
    int failures = 0;
    for (const auto &picture : pictures) {
        QImage image(width, height, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        picture.draw(painter);
        painter.end();
        // Stored at twice the size the window shows them: sharp on a high-density screen, and
        // small enough that loading them costs next to nothing at start-up.
        const QImage stored
            = image.scaled(width / 2, height / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!stored.save(QString::fromLatin1(picture.file), "JPEG", 92)) {
            std::fprintf(stderr, "could not write %s\n", picture.file);
            ++failures;
        }
    }
    QFile ico(QStringLiteral("ordering-system.ico"));
    if (!ico.open(QIODevice::WriteOnly) || ico.write(iconFile()) < 0) {
        std::fprintf(stderr, "could not write ordering-system.ico\n");
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
