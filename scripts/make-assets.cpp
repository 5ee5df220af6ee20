// SPDX-License-Identifier: GPL-3.0-or-later
// Draws Quaverly's own pictures: the application icon, the hand cursor and the drag
// cursor. Built and run by scripts/make-assets.sh; the results are committed, so the
// build itself never runs this.
//
//   make-assets ASSETS_DIR
#include <cstdio>

#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include "core/product.h"

namespace {

const QColor kBlue(7, 162, 254);
const QColor kCyan(177, 255, 255);
const QColor kInk(20, 24, 32);

// The application icon: a white quaver on a rounded square that fades from blue at the
// top to cyan at the bottom, drawn on a 256-unit grid. The PNGs of every size and the
// scalable SVG are made from the same shapes below.
const QRectF kIconGround(8, 8, 240, 240);
const qreal kIconRadius = 52;
const QColor kGroundEdge = kBlue.darker(140);
const QColor kNoteEdge(0, 70, 130);
const QColor kShadow(0, 60, 110, 70);
const QPointF kShadowOffset(5, 6);

// The note: a tilted head, a stem rising from its right side and a flag, as one outline.
QPainterPath notePath() {
    QPainterPath head;
    head.addEllipse(QPointF(0, 0), 40, 28);
    QPainterPath note = QTransform().translate(102, 186).rotate(-22).map(head);
    QPainterPath stem;
    stem.addRect(QRectF(130, 44, 16, 140));
    note = note.united(stem);
    QPainterPath flag;
    flag.moveTo(130, 44);
    flag.cubicTo(150, 84, 206, 96, 190, 164);
    flag.cubicTo(186, 124, 162, 110, 146, 108);
    flag.lineTo(146, 44);
    flag.closeSubpath();
    return note.united(flag);
}

QImage appIcon(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient ground(0, 0, 0, 256);
    ground.setColorAt(0.0, kBlue);
    ground.setColorAt(1.0, kCyan);
    p.setPen(QPen(kGroundEdge, 4));
    p.setBrush(ground);
    p.drawRoundedRect(kIconGround, kIconRadius, kIconRadius);

    const QPainterPath note = notePath();
    p.setPen(Qt::NoPen);
    p.setBrush(kShadow);
    p.drawPath(note.translated(kShadowOffset));
    p.setBrush(Qt::white);
    p.setPen(QPen(kNoteEdge, 3));
    p.drawPath(note);
    return img;
}

// An outline as SVG path data, element by element, with the coordinates rounded to
// hundredths of a unit.
QByteArray svgPathData(const QPainterPath& path) {
    QByteArray d;
    const auto num = [](qreal v) { return QByteArray::number(qRound(v * 100) / 100.0, 'g', 8); };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.type == QPainterPath::MoveToElement) {
            d += (d.isEmpty() ? "M" : " Z M");  // each outline closed
        } else if (e.type == QPainterPath::LineToElement) {
            d += " L";
        } else if (e.type == QPainterPath::CurveToElement) {
            d += " C";
        } else {
            d += " ";  // the second and third points of a curve
        }
        d += num(e.x) + ' ' + num(e.y);
    }
    return d + " Z";
}

QByteArray svgColour(const QColor& c) {
    return c.name(QColor::HexRgb).toLatin1();
}

// The same picture as the PNGs, as vector shapes for the scalable icon.
QByteArray appIconSvg() {
    const QPainterPath note = notePath();
    const QByteArray r = QByteArray::number(kIconRadius);
    QByteArray svg;
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg +=
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
        "viewBox=\"0 0 256 256\">\n";
    svg +=
        "  <defs>\n    <linearGradient id=\"ground\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"256\" "
        "gradientUnits=\"userSpaceOnUse\">\n";
    svg += "      <stop offset=\"0\" stop-color=\"" + svgColour(kBlue) + "\"/>\n";
    svg += "      <stop offset=\"1\" stop-color=\"" + svgColour(kCyan) + "\"/>\n";
    svg += "    </linearGradient>\n  </defs>\n";
    svg += "  <rect x=\"" + QByteArray::number(kIconGround.x()) + "\" y=\"" +
           QByteArray::number(kIconGround.y()) + "\" width=\"" +
           QByteArray::number(kIconGround.width()) + "\" height=\"" +
           QByteArray::number(kIconGround.height()) + "\" rx=\"" + r + "\" ry=\"" + r +
           "\" fill=\"url(#ground)\" stroke=\"" + svgColour(kGroundEdge) +
           "\" stroke-width=\"4\"/>\n";
    svg += "  <path fill=\"" + svgColour(kShadow) + "\" fill-opacity=\"" +
           QByteArray::number(kShadow.alphaF(), 'f', 3) + "\" d=\"" +
           svgPathData(note.translated(kShadowOffset)) + "\"/>\n";
    svg += "  <path fill=\"#ffffff\" stroke=\"" + svgColour(kNoteEdge) +
           "\" stroke-width=\"3\" d=\"" + svgPathData(note) + "\"/>\n";
    svg += "</svg>\n";
    return svg;
}

QPainterPath roundedRect(const QRectF& r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// A pointing hand on a 32 x 32 grid with the tip of the index finger at (13, 1).
QImage handCursor() {
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(0, 1);  // keeps the outline of the tip inside the picture

    QPainterPath hand = roundedRect(QRectF(11, 1, 5, 19), 2.5);
    hand = hand.united(roundedRect(QRectF(16, 9, 4.5, 11), 2.2));
    hand = hand.united(roundedRect(QRectF(20.5, 10, 4.5, 10), 2.2));
    hand = hand.united(roundedRect(QRectF(25, 11.5, 4, 9), 2));
    hand = hand.united(roundedRect(QRectF(11, 15, 18, 11), 4));
    hand = hand.united(roundedRect(QRectF(13, 22, 14, 7), 2));
    const QPainterPath thumb = roundedRect(QRectF(0, -2.25, 9, 4.5), 2.2);
    hand = hand.united(QTransform().translate(12.5, 22).rotate(-135).map(thumb));

    p.setBrush(Qt::white);
    p.setPen(QPen(kInk, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(hand.simplified());
    p.setPen(QPen(kInk, 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 12), QPointF(16, 18));
    p.drawLine(QPointF(20.5, 13), QPointF(20.5, 18.5));
    p.drawLine(QPointF(25, 14), QPointF(25, 19));
    p.drawLine(QPointF(13, 26.5), QPointF(27, 26.5));
    return img;
}

// An arrow with its tip at (1, 1), carrying a small list with a plus: "moving an entry".
QImage dragCursor() {
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    QPainterPath arrow;
    arrow.moveTo(1, 1);
    arrow.lineTo(1, 19);
    arrow.lineTo(5.5, 15);
    arrow.lineTo(8.5, 22);
    arrow.lineTo(11.5, 20.5);
    arrow.lineTo(8.5, 14);
    arrow.lineTo(14, 14);
    arrow.closeSubpath();
    p.setBrush(Qt::white);
    p.setPen(QPen(kInk, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(arrow);

    const QRectF page(15.5, 15.5, 15, 15);
    p.setPen(QPen(kInk, 1.0));
    p.setBrush(Qt::white);
    p.drawRoundedRect(page, 2, 2);
    p.setPen(QPen(kBlue.darker(120), 1.6, Qt::SolidLine, Qt::FlatCap));
    for (qreal y : {19.5, 23.0, 26.5}) p.drawLine(QPointF(18, y), QPointF(22.5, y));
    p.setPen(QPen(kInk, 2.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(26.5, 22), QPointF(26.5, 29));
    p.drawLine(QPointF(23, 25.5), QPointF(30, 25.5));
    return img;
}

// One 32-bit image as a DIB entry of an .ico/.cur file: header, BGRA rows bottom-up, then
// the 1-bit mask (set where the picture is transparent) for readers that ignore alpha.
QByteArray dibEntry(const QImage& source) {
    const QImage img = source.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    const int maskStride = ((w + 31) / 32) * 4;
    s << quint32(40) << qint32(w) << qint32(h * 2) << quint16(1) << quint16(32) << quint32(0)
      << quint32(w * h * 4 + maskStride * h) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int y = h - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            s << quint8(qBlue(row[x])) << quint8(qGreen(row[x])) << quint8(qRed(row[x]))
              << quint8(qAlpha(row[x]));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray mask(maskStride, '\0');
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (qAlpha(row[x]) < 128) mask[x / 8] = char(mask[x / 8] | (0x80 >> (x % 8)));
        }
        s.writeRawData(mask.constData(), mask.size());
    }
    return out;
}

// A single-image icon (type 1) or cursor (type 2, with its hotspot) file.
bool writeIconFile(const QString& path, const QImage& img, bool cursor, QPoint hotspot = {}) {
    const QByteArray entry = dibEntry(img);
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << quint16(0) << quint16(cursor ? 2 : 1) << quint16(1);
    s << quint8(img.width() % 256) << quint8(img.height() % 256) << quint8(0) << quint8(0);
    if (cursor) {
        s << quint16(hotspot.x()) << quint16(hotspot.y());
    } else {
        s << quint16(1) << quint16(32);
    }
    s << quint32(entry.size()) << quint32(6 + 16);
    out += entry;
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(out) == out.size();
}

bool savePng(const QImage& img, const QString& path) {
    if (img.save(path, "PNG")) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-assets ASSETS_DIR\n");
        return 2;
    }
    const QDir assets(QString::fromLocal8Bit(argv[1]));
    assets.mkpath(QStringLiteral("beside/icons"));

    bool ok = true;
    // The window's own icon, beside the program.
    for (int size : {32, 48, 128, 256}) {
        const QImage icon = appIcon(size);
        const QString name = QStringLiteral("quaverly-%1.png").arg(size);
        ok = savePng(icon, assets.filePath(QStringLiteral("beside/icons/") + name)) && ok;
    }
    // The icon the desktop shows for the application id, in the layout of the icon theme.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        assets.mkpath(dir);
        ok = savePng(appIcon(size), assets.filePath(dir + '/' + kApplicationId + ".png")) && ok;
    }
    assets.mkpath(QStringLiteral("hicolor/scalable/apps"));
    QFile svg(assets.filePath(QStringLiteral("hicolor/scalable/apps/") + kApplicationId + ".svg"));
    const QByteArray svgText = appIconSvg();
    if (!svg.open(QIODevice::WriteOnly) || svg.write(svgText) != svgText.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
        ok = false;
    }
    ok = writeIconFile(assets.filePath(QStringLiteral("beside/HAND-M.CUR")), handCursor(), true,
                       QPoint(13, 1)) &&
         ok;
    ok = writeIconFile(assets.filePath(QStringLiteral("beside/drag.ico")), dragCursor(), false) &&
         ok;
    // Large previews for looking at the pictures; not shipped.
    if (qEnvironmentVariableIsSet("MAKE_ASSETS_PREVIEW")) {
        const QString dir = qEnvironmentVariable("MAKE_ASSETS_PREVIEW");
        savePng(handCursor().scaled(256, 256), dir + QStringLiteral("/hand.png"));
        savePng(dragCursor().scaled(256, 256), dir + QStringLiteral("/drag.png"));
    }
    return ok ? 0 : 1;
}
