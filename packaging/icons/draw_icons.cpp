// Draws Moxel's own icons with QPainter: the application and tray icon (an envelope with a
// shield), the warning and information signs, a bullet and a close button. Shapes only, no
// text, so the drawing does not depend on the fonts of the machine it runs on.
//
// Usage: draw_icons RESOURCE_FOLDER HICOLOR_FOLDER
//   RESOURCE_FOLDER gets <number>.png for the program's resources;
//   HICOLOR_FOLDER gets <size>x<size>/moxel.png for the desktop's icon theme.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

using Drawing = std::function<void(QPainter&)>;

// Renders `draw`, which paints on a 256 x 256 canvas, at `size` pixels.
QImage Render(const Drawing& draw, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);
    draw(painter);
    return image;
}

void DrawEnvelopeWithShield(QPainter& p) {
    // The envelope: a pale body with a dark outline and the flap as a V.
    const QRectF body(12, 52, 196, 136);
    p.setPen(QPen(QColor(40, 60, 90), 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(236, 242, 250));
    p.drawRoundedRect(body, 14, 14);
    QPainterPath flap;
    flap.moveTo(body.left() + 6, body.top() + 8);
    flap.lineTo(body.center().x(), body.top() + 84);
    flap.lineTo(body.right() - 6, body.top() + 8);
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);

    // The shield over the lower right corner, green with a white tick.
    QPainterPath shield;
    shield.moveTo(180, 104);
    shield.cubicTo(206, 118, 228, 120, 246, 116);
    shield.cubicTo(250, 182, 224, 226, 180, 250);
    shield.cubicTo(136, 226, 110, 182, 114, 116);
    shield.cubicTo(132, 120, 154, 118, 180, 104);
    p.setPen(QPen(QColor(20, 80, 40), 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(46, 160, 80));
    p.drawPath(shield);
    QPainterPath tick;
    tick.moveTo(148, 172);
    tick.lineTo(172, 198);
    tick.lineTo(214, 146);
    p.setPen(QPen(Qt::white, 18, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

void DrawWarning(QPainter& p) {
    QPainterPath triangle;
    triangle.moveTo(128, 20);
    triangle.lineTo(240, 224);
    triangle.lineTo(16, 224);
    triangle.closeSubpath();
    p.setPen(QPen(QColor(120, 80, 0), 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(250, 200, 30));
    p.drawPath(triangle);
    // The exclamation mark: a bar and a dot.
    p.setPen(QPen(QColor(30, 30, 30), 26, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(128, 88), QPointF(128, 158));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    p.drawEllipse(QPointF(128, 196), 15, 15);
}

void DrawInformation(QPainter& p) {
    p.setPen(QPen(QColor(20, 60, 130), 12));
    p.setBrush(QColor(50, 110, 210));
    p.drawEllipse(QPointF(128, 128), 112, 112);
    // The letter i: a dot over a bar.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(128, 72), 18, 18);
    p.setPen(QPen(Qt::white, 32, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(128, 118), QPointF(128, 192));
}

void DrawBullet(QPainter& p) {
    p.setPen(QPen(QColor(20, 60, 130), 16));
    p.setBrush(QColor(60, 130, 220));
    p.drawEllipse(QPointF(128, 128), 72, 72);
}

void DrawClose(QPainter& p) {
    p.setPen(QPen(QColor(90, 90, 90), 28, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(64, 64), QPointF(192, 192));
    p.drawLine(QPointF(192, 64), QPointF(64, 192));
}

bool Save(const QImage& image, const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).path()) || !image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: draw_icons RESOURCE_FOLDER HICOLOR_FOLDER\n");
        return 2;
    }
    const QString resources = QString::fromLocal8Bit(argv[1]);
    const QString hicolor = QString::fromLocal8Bit(argv[2]);
    // Resource number, drawing and size; the numbers are those of ResourceIcons.h.
    const struct {
        int number;
        Drawing draw;
        int size;
    } icons[] = {
        {130, DrawEnvelopeWithShield, 64},
        {151, DrawWarning, 32},
        {157, DrawInformation, 32},
        {160, DrawBullet, 16},
        {161, DrawClose, 16},
    };
    bool ok = true;
    for (const auto& icon : icons) {
        ok = Save(Render(icon.draw, icon.size),
                  QStringLiteral("%1/%2.png").arg(resources).arg(icon.number)) &&
             ok;
    }
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        ok = Save(Render(DrawEnvelopeWithShield, size),
                  QStringLiteral("%1/%2x%2/apps/moxel.png").arg(hicolor).arg(size)) &&
             ok;
    }
    return ok ? 0 : 1;
}
