#include "ui/Pictures.h"

#include "ui/JpegImage.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>

#include <functional>

// The pictures are compiled into this static library; registering them must happen outside any
// namespace and before the first lookup, or the linker may drop them.
static void RegisterPictureResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    (void)registered;
}

namespace ui {
namespace {

// A built-in JPEG at exactly `size`; a picture that fails to decode shows as a white area rather
// than leaving a hole in the header strip.
QPixmap BuiltInJpeg(const QString& name, QSize size) {
    RegisterPictureResources();
    QFile file(QStringLiteral(":/dekoder/") + name);
    QImage image;
    if (file.open(QIODevice::ReadOnly)) {
        image = DecodeJpeg(file.readAll());
    }
    if (image.isNull()) {
        image = QImage(size, QImage::Format_RGB32);
        image.fill(Qt::white);
    } else if (image.size() != size) {
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return QPixmap::fromImage(image);
}

using Drawing = std::function<void(QPainter&)>;

// Draws on a 16 x 16 grid, at 16 and 32 pixels.
QIcon DrawnIcon(const Drawing& draw) {
    QIcon icon;
    for (const int side : {16, 32}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(side / 16.0, side / 16.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void DrawCaption(QPainter& p) { // a note with a blue letter T
    p.setPen(QPen(QColor(150, 130, 40), 1));
    p.setBrush(QColor(255, 255, 166));
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.setPen(QPen(QColor(0, 100, 220), 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(4, 5.5), QPointF(12, 5.5));
    p.drawLine(QPointF(8, 5.5), QPointF(8, 12));
}

void DrawSaveFrame(QPainter& p) { // a floppy disk
    p.setPen(QPen(QColor(20, 40, 90), 1));
    p.setBrush(QColor(40, 90, 180));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 2, 8, 5));
    p.setBrush(QColor(190, 200, 215));
    p.drawRect(QRectF(4, 10, 8, 4.5));
    p.setBrush(QColor(20, 40, 90));
    p.drawRect(QRectF(9, 10.5, 2, 3));
}

void DrawEmit(QPainter& p) { // an LED sending infra-red
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 120, 130));
    p.drawRect(QRectF(2, 10, 6, 2));
    p.setBrush(QColor(220, 20, 20));
    p.drawEllipse(QRectF(2, 5, 6, 7));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const double r = 3.0 + 2.5 * i;
        p.setPen(QPen(QColor(220, 20, 20, 230 - 60 * i), 1.3, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(5 - r, 8.5 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
    }
}

void DrawInvert(QPainter& p) { // a wave and its inverse
    QPainterPath wave;
    wave.moveTo(1, 7);
    wave.lineTo(4, 7);
    wave.lineTo(4, 2);
    wave.lineTo(9, 2);
    wave.lineTo(9, 7);
    wave.lineTo(12, 7);
    wave.lineTo(12, 2);
    wave.lineTo(15, 2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(220, 20, 20), 1.5));
    p.drawPath(wave);
    p.setPen(QPen(QColor(0, 100, 220), 1.5));
    p.drawPath(QTransform(1, 0, 0, -1, 0, 16).map(wave));
}

void DrawLoadFrame(QPainter& p) { // an open folder
    p.setPen(QPen(QColor(150, 110, 20), 1));
    p.setBrush(QColor(240, 200, 90));
    p.drawPolygon(QPolygonF({QPointF(1.5, 3.5), QPointF(6, 3.5), QPointF(7.5, 5), QPointF(13.5, 5),
                             QPointF(13.5, 13.5), QPointF(1.5, 13.5)}));
    p.setBrush(QColor(255, 225, 130));
    p.drawPolygon(QPolygonF(
        {QPointF(3.5, 7.5), QPointF(15.5, 7.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)}));
}

void DrawPictureExport(QPainter& p) { // a landscape picture
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(170, 215, 255));
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 200, 0));
    p.drawEllipse(QRectF(9.5, 4, 3, 3));
    p.setBrush(QColor(60, 160, 60));
    p.drawPolygon(QPolygonF({QPointF(2, 13), QPointF(6, 7), QPointF(10, 13)}));
    p.drawPolygon(QPolygonF({QPointF(7, 13), QPointF(11, 9), QPointF(14, 13)}));
}

} // namespace

QPixmap HeaderLogo() {
    return BuiltInJpeg(QStringLiteral("logo.jpg"), QSize(100, 36));
}

QPixmap HeaderIcon() {
    return BuiltInJpeg(QStringLiteral("icon.jpg"), QSize(32, 32));
}

QIcon ImageListIcon(int index) {
    switch (index) {
    case ImageCaption:
        return DrawnIcon(DrawCaption);
    case ImageSaveFrame:
        return DrawnIcon(DrawSaveFrame);
    case ImageEmit:
        return DrawnIcon(DrawEmit);
    case ImageInvert:
        return DrawnIcon(DrawInvert);
    case ImageLoadFrame:
        return DrawnIcon(DrawLoadFrame);
    case ImagePictureExport:
        return DrawnIcon(DrawPictureExport);
    default:
        return {};
    }
}

QIcon ApplicationIcon() {
    RegisterPictureResources();
    QIcon icon(QStringLiteral(":/dekoder/dekoder-ir.png"));
    icon.addPixmap(HeaderIcon());
    return icon;
}

} // namespace ui
