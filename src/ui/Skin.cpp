// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Skin.h"

#include <QBitmap>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <numbers>

namespace sarvik::ui {

namespace {

const QColor kNavy(0x16, 0x2f, 0x4f);
const QColor kSteel(0x2d, 0x5b, 0x8c);
const QColor kSky(0x5d, 0xa9, 0xe9);
const QColor kPaper(0xee, 0xf2, 0xf7);
const QColor kAmber(0xf2, 0xa5, 0x3a);
const QColor kLine(0xa9, 0xb9, 0xcc);
const QColor kDarkLine(0x4a, 0x5a, 0x6e);

bool g_dark = false;

/// The colours of the skin's body and wells, light or dark.
struct SkinColours {
    QColor bodyTop, bodyBottom, line, leftWell, rightWell, helpPlate, dialogTop, dialogBottom;
};

const SkinColours& colours()
{
    static const SkinColours light{
        QColor(0xdf, 0xe7, 0xf1),      QColor(0xc9, 0xd5, 0xe4),      kLine,
        QColor(0xf7, 0xf9, 0xfc, 180), QColor(0xfb, 0xfc, 0xfe, 200), QColor(0xff, 0xff, 0xff, 120),
        QColor(0xe8, 0xee, 0xf5),      QColor(0xd2, 0xdc, 0xe9)};
    static const SkinColours dark{
        QColor(0x2b, 0x33, 0x3e),      QColor(0x1e, 0x24, 0x2c),      kDarkLine,
        QColor(0x16, 0x1b, 0x22, 180), QColor(0x1a, 0x20, 0x28, 200), QColor(0x10, 0x14, 0x1a, 120),
        QColor(0x2e, 0x36, 0x42),      QColor(0x22, 0x29, 0x33)};
    return g_dark ? dark : light;
}

// Skins are painted on a clear canvas, antialiased; then every pixel that is
// mostly clear becomes the key colour and every other pixel is made opaque over
// the frame colour, so no half-green pixels survive at the rounded edges.
QImage clearCanvas(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage keyOutClearPixels(const QImage& painted, const QColor& edge)
{
    QImage out(painted.size(), QImage::Format_RGB32);
    QPainter p(&out);
    p.fillRect(out.rect(), edge);
    p.drawImage(0, 0, painted);
    p.end();
    const QImage straight = painted.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        const auto* alpha = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if (qAlpha(alpha[x]) < 128)
                line[x] = kTransparentKey;
    }
    return out;
}

QPainterPath roundedFrame(QSize size, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), radius, radius);
    return path;
}

// A closed outline through `points`, in order.
QPainterPath outline(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    for (const QPointF& point : points) {
        if (path.elementCount() == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

// A document outline with a folded corner, in a box of side s at (x, y).
QPainterPath documentPath(qreal x, qreal y, qreal w, qreal h)
{
    const qreal fold = w * 0.32;
    return outline({{x, y}, {x + w - fold, y}, {x + w, y + fold}, {x + w, y + h}, {x, y + h}});
}

QPainterPath arrowDown(qreal cx, qreal top, qreal width, qreal height)
{
    const qreal shaft = width * 0.36;
    const qreal head = height * 0.5;
    const qreal neck = top + height - head;
    return outline({{cx - shaft / 2, top},
                    {cx + shaft / 2, top},
                    {cx + shaft / 2, neck},
                    {cx + width / 2, neck},
                    {cx, top + height},
                    {cx - width / 2, neck},
                    {cx - shaft / 2, neck}});
}

void drawDocument(QPainter& p, qreal x, qreal y, qreal w, qreal h)
{
    const QPainterPath doc = documentPath(x, y, w, h);
    p.setPen(QPen(kNavy, 1.4));
    p.setBrush(Qt::white);
    p.drawPath(doc);
    p.setPen(QPen(kLine, 1.2));
    for (int i = 1; i <= 3; ++i) {
        const qreal ly = y + h * (0.35 + 0.17 * i);
        p.drawLine(QPointF(x + w * 0.18, ly), QPointF(x + w * 0.82, ly));
    }
}

void drawGlyph(QPainter& p, ToolbarPicture which, const QRectF& box)
{
    const qreal s = std::min(box.width(), box.height());
    const qreal x = box.center().x() - s / 2;
    const qreal y = box.center().y() - s / 2;
    p.setRenderHint(QPainter::Antialiasing);
    switch (which) {
    case ToolbarPicture::RecoverSelected:
        drawDocument(p, x + s * 0.18, y + s * 0.05, s * 0.55, s * 0.7);
        p.setPen(QPen(kNavy, 1));
        p.setBrush(kAmber);
        p.drawPath(arrowDown(x + s * 0.7, y + s * 0.45, s * 0.42, s * 0.52));
        break;
    case ToolbarPicture::RecoverAll:
        drawDocument(p, x + s * 0.02, y + s * 0.0, s * 0.5, s * 0.62);
        drawDocument(p, x + s * 0.16, y + s * 0.1, s * 0.5, s * 0.62);
        drawDocument(p, x + s * 0.30, y + s * 0.2, s * 0.5, s * 0.62);
        p.setPen(QPen(kNavy, 1));
        p.setBrush(kAmber);
        p.drawPath(arrowDown(x + s * 0.78, y + s * 0.45, s * 0.42, s * 0.52));
        break;
    case ToolbarPicture::SaveSnapshot: {
        QRectF disk(x + s * 0.12, y + s * 0.1, s * 0.76, s * 0.8);
        p.setPen(QPen(kNavy, 1.4));
        p.setBrush(kSteel);
        p.drawRoundedRect(disk, s * 0.06, s * 0.06);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(disk.left() + s * 0.14, disk.top(), s * 0.48, s * 0.3));
        p.setBrush(kPaper);
        p.drawRect(QRectF(disk.left() + s * 0.1, disk.top() + s * 0.45, s * 0.56, s * 0.33));
        p.setBrush(kSteel);
        p.drawRect(QRectF(disk.left() + s * 0.44, disk.top() + s * 0.04, s * 0.1, s * 0.2));
        break;
    }
    case ToolbarPicture::LoadSnapshot: {
        p.setPen(QPen(kNavy, 1.4));
        p.setBrush(QColor(0xe8, 0xb8, 0x5a));
        p.drawPath(outline({{x + s * 0.05, y + s * 0.2},
                            {x + s * 0.38, y + s * 0.2},
                            {x + s * 0.45, y + s * 0.3},
                            {x + s * 0.85, y + s * 0.3},
                            {x + s * 0.85, y + s * 0.85},
                            {x + s * 0.05, y + s * 0.85}}));
        p.setBrush(kAmber);
        p.drawPath(outline({{x + s * 0.18, y + s * 0.45},
                            {x + s * 0.98, y + s * 0.45},
                            {x + s * 0.85, y + s * 0.85},
                            {x + s * 0.05, y + s * 0.85}}));
        break;
    }
    case ToolbarPicture::FindFiles: {
        p.setPen(QPen(kNavy, s * 0.12, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x + s * 0.6, y + s * 0.6), QPointF(x + s * 0.9, y + s * 0.9));
        QRadialGradient glass(QPointF(x + s * 0.35, y + s * 0.35), s * 0.3);
        glass.setColorAt(0, Qt::white);
        glass.setColorAt(1, kSky);
        p.setBrush(glass);
        p.setPen(QPen(kNavy, s * 0.07));
        p.drawEllipse(QPointF(x + s * 0.4, y + s * 0.4), s * 0.28, s * 0.28);
        break;
    }
    case ToolbarPicture::DeepSearch: {
        // A disk seen from the side, its layers, and a glass over its lower part.
        const qreal w = s * 0.78;
        const qreal rim = s * 0.16;
        const QRectF top(x, y + s * 0.04, w, rim);
        const qreal body = s * 0.5;
        QPainterPath drum;
        drum.moveTo(top.left(), top.center().y());
        drum.lineTo(top.left(), top.center().y() + body);
        drum.arcTo(QRectF(top.left(), top.top() + body, w, rim), 180, 180);
        drum.lineTo(top.right(), top.center().y());
        drum.closeSubpath();
        p.setPen(QPen(kNavy, 1.2));
        p.setBrush(kSteel);
        p.drawPath(drum);
        p.setBrush(kSky);
        p.drawEllipse(top);
        p.setPen(QPen(kPaper, 1.2));
        p.setBrush(Qt::NoBrush);
        for (int layer = 1; layer <= 2; ++layer)
            p.drawArc(QRectF(top.left(), top.top() + body * layer / 3.0, w, rim), 180 * 16, 180 * 16);
        p.setPen(QPen(kNavy, s * 0.1, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x + s * 0.74, y + s * 0.74), QPointF(x + s * 0.95, y + s * 0.95));
        QRadialGradient glass(QPointF(x + s * 0.6, y + s * 0.6), s * 0.22);
        glass.setColorAt(0, Qt::white);
        glass.setColorAt(1, kSky);
        p.setBrush(glass);
        p.setPen(QPen(kNavy, s * 0.06));
        p.drawEllipse(QPointF(x + s * 0.64, y + s * 0.64), s * 0.19, s * 0.19);
        break;
    }
    case ToolbarPicture::Settings: {
        const QPointF c(x + s / 2, y + s / 2);
        QPainterPath gear;
        const int teeth = 8;
        for (int i = 0; i < teeth * 2; ++i) {
            const qreal a0 = std::numbers::pi * i / teeth;
            const qreal a1 = std::numbers::pi * (i + 1) / teeth;
            const qreal r = (i % 2 == 0) ? s * 0.46 : s * 0.34;
            const QPointF p0 = c + QPointF(std::cos(a0) * r, std::sin(a0) * r);
            const QPointF p1 = c + QPointF(std::cos(a1) * r, std::sin(a1) * r);
            if (i == 0)
                gear.moveTo(p0);
            else
                gear.lineTo(p0);
            gear.lineTo(p1);
        }
        gear.closeSubpath();
        gear.addEllipse(c, s * 0.14, s * 0.14);
        gear.setFillRule(Qt::OddEvenFill);
        p.setPen(QPen(kNavy, 1.2));
        p.setBrush(QColor(0x8b, 0x9d, 0xb3));
        p.drawPath(gear);
        break;
    }
    case ToolbarPicture::LiveUpdate: {
        const QPointF c(x + s / 2, y + s / 2);
        const qreal r = s * 0.34;
        p.setPen(QPen(QColor(0x2e, 0x9b, 0x53), s * 0.12, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        const QRectF ring(c.x() - r, c.y() - r, 2 * r, 2 * r);
        p.drawArc(ring, 30 * 16, 130 * 16);
        p.drawArc(ring, 210 * 16, 130 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2e, 0x9b, 0x53));
        for (int half = 0; half < 2; ++half) {
            const qreal a = (half == 0 ? 160.0 : 340.0) * std::numbers::pi / 180.0;
            const QPointF tip = c + QPointF(std::cos(a) * r, -std::sin(a) * r);
            const qreal dir = half == 0 ? 1 : -1;
            p.drawPath(
                outline({tip + QPointF(-s * 0.14, 0), tip + QPointF(s * 0.14, 0), tip + QPointF(0, dir * s * 0.16)}));
        }
        break;
    }
    }
}

QString toolbarCaption(ToolbarPicture which)
{
    // In the order of ToolbarPicture.
    static constexpr std::array<const char*, 8> kCaptions{
        QT_TRANSLATE_NOOP("sarvik::ui::Skin", "Recover"),  QT_TRANSLATE_NOOP("sarvik::ui::Skin", "Recover All"),
        QT_TRANSLATE_NOOP("sarvik::ui::Skin", "Save"),     QT_TRANSLATE_NOOP("sarvik::ui::Skin", "Load"),
        QT_TRANSLATE_NOOP("sarvik::ui::Skin", "Find"),     QT_TRANSLATE_NOOP("sarvik::ui::Skin", "Deep Search"),
        QT_TRANSLATE_NOOP("sarvik::ui::Skin", "Settings"), QT_TRANSLATE_NOOP("sarvik::ui::Skin", "Update")};
    static_assert(kCaptions.size() == static_cast<std::size_t>(ToolbarPicture::LiveUpdate) + 1,
                  "one caption per toolbar picture");
    const auto i = static_cast<std::size_t>(which);
    return i < kCaptions.size() ? QCoreApplication::translate("sarvik::ui::Skin", kCaptions[i]) : QString();
}

} // namespace

bool darkSkin()
{
    return g_dark;
}

void setDarkSkin(bool dark)
{
    g_dark = dark;
}

bool paletteIsDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

QColor skinTextColour(SkinText role)
{
    switch (role) {
    case SkinText::Caption:
        return g_dark ? QColor(0xa9, 0xc7, 0xec) : QColor(0x1d, 0x35, 0x57);
    case SkinText::Value:
        return g_dark ? QColor(0xdd, 0xe6, 0xf0) : QColor(0x22, 0x30, 0x3f);
    case SkinText::Status:
        return g_dark ? QColor(0x8f, 0xb8, 0xe6) : QColor(0x2d, 0x5b, 0x8c);
    case SkinText::Body:
        return g_dark ? QColor(0xd6, 0xde, 0xe8) : QColor(0x1d, 0x2b, 0x3a);
    case SkinText::Warning:
        return g_dark ? QColor(0xf0, 0xa3, 0x6b) : QColor(0x8a, 0x3b, 0x12);
    }
    return {};
}

QSize windowSkinBase()
{
    return {dluX(528), dluY(311)};
}

QSize windowSkinSmallest()
{
    return windowSkinBase() - QSize(24, 80);
}

QRect dluRect(int left, int top, int width, int height)
{
    return QRect(dluX(left), dluY(top), dluX(width), dluY(height));
}

SkinAreas windowSkinAreas(QSize size)
{
    // A window larger or smaller than the drawn one stretches or shrinks the
    // panes; the footer keeps its distance from the bottom.
    const int dx = size.width() - windowSkinBase().width();
    const int dy = size.height() - windowSkinBase().height();
    SkinAreas areas;
    areas.header = dluY(57) - 6;
    areas.leftWell = QRect(2, 94, 230, 329 + dy);
    areas.rightPane = dluRect(153, 57, 371, 200).adjusted(0, 0, dx, dy);
    areas.helpPlate = dluRect(7, 256, 392, 45).translated(0, dy);
    return areas;
}

QImage paintWindowSkin(QSize size)
{
    return paintWindowSkin(size, windowSkinAreas(size));
}

QImage paintWindowSkin(QSize size, const SkinAreas& areas)
{
    QImage image = clearCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath frame = roundedFrame(size, 14);
    p.setClipPath(frame);

    // Body: a soft vertical wash.
    const SkinColours& c = colours();
    QLinearGradient body(0, 0, 0, size.height());
    body.setColorAt(0, c.bodyTop);
    body.setColorAt(1, c.bodyBottom);
    p.fillRect(QRect(QPoint(0, 0), size), body);

    // Header band behind the toolbar.
    const int header = areas.header;
    QLinearGradient band(0, 0, 0, header);
    band.setColorAt(0, kSteel);
    band.setColorAt(1, kNavy);
    p.fillRect(QRect(0, 0, size.width(), header), band);
    p.setPen(QPen(kAmber, 2));
    p.drawLine(0, header, size.width(), header);

    // Left pane well, behind the tree.
    p.setPen(QPen(c.line, 1));
    p.setBrush(c.leftWell);
    p.drawRoundedRect(QRectF(areas.leftWell).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);

    // Right pane: the group frame.
    p.setBrush(c.rightWell);
    p.drawRoundedRect(QRectF(areas.rightPane).adjusted(0.5, 4.5, -0.5, -0.5), 8, 8);

    // Footer: the Quick Help plate.
    p.setBrush(c.helpPlate);
    p.drawRoundedRect(QRectF(areas.helpPlate).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);

    p.setClipping(false);
    p.setPen(QPen(kNavy, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(roundedFrame(size, 14));
    p.end();
    return keyOutClearPixels(image, kNavy);
}

QImage paintDialogSkin(QSize size)
{
    // Square: a dialog sits inside the desktop's own window frame, which no
    // mask cuts, so key-coloured corners would show.
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient body(0, 0, 0, size.height());
    body.setColorAt(0, colours().dialogTop);
    body.setColorAt(1, colours().dialogBottom);
    p.fillRect(image.rect(), body);
    QLinearGradient band(0, 0, 0, 8);
    band.setColorAt(0, kSteel);
    band.setColorAt(1, kNavy);
    p.fillRect(QRect(0, 0, size.width(), 6), band);
    p.setPen(QPen(kNavy, 1));
    p.drawRect(image.rect().adjusted(0, 0, -1, -1));
    p.end();
    return image;
}

QRegion regionFromSkin(const QImage& skin, QRgb key)
{
    // A bitmap region covers the pixels that the mask leaves clear, so the mask
    // marks the key colour (Qt::MaskInColor) and the region is the rest.
    const QImage mask = skin.convertToFormat(QImage::Format_ARGB32).createMaskFromColor(key, Qt::MaskInColor);
    return QRegion(QBitmap::fromImage(mask));
}

QPixmap toolbarPicture(ToolbarPicture which, QSize size, bool highlighted)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF tile = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(1, 1, -1, -1);
    if (highlighted) {
        QLinearGradient glow(tile.topLeft(), tile.bottomLeft());
        glow.setColorAt(0, QColor(255, 255, 255, 90));
        glow.setColorAt(1, QColor(255, 255, 255, 30));
        p.setPen(QPen(QColor(255, 255, 255, 160), 1));
        p.setBrush(glow);
        p.drawRoundedRect(tile, 6, 6);
    }
    const qreal captionHeight = size.height() * 0.26;
    const QRectF glyphBox(tile.left() + 8, tile.top() + 3, tile.width() - 16, tile.height() - captionHeight - 6);
    // A light plate behind the glyph keeps it readable on the dark band.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, highlighted ? 235 : 200));
    const qreal plate = std::min(glyphBox.width(), glyphBox.height()) + 6;
    p.drawRoundedRect(QRectF(glyphBox.center().x() - plate / 2, glyphBox.center().y() - plate / 2, plate, plate), 7, 7);
    drawGlyph(p, which, glyphBox.adjusted(4, 4, -4, -4));

    QFont font = p.font();
    font.setPixelSize(std::max(9, int(captionHeight * 0.62)));
    font.setBold(true);
    // A caption wider than its tile ("Deep Search") is drawn a little smaller.
    const QString caption = toolbarCaption(which);
    while (font.pixelSize() > 8 && QFontMetricsF(font).horizontalAdvance(caption) > tile.width() - 2)
        font.setPixelSize(font.pixelSize() - 1);
    p.setFont(font);
    p.setPen(highlighted ? kAmber : QColor(0xf4, 0xf7, 0xfb));
    p.drawText(QRectF(tile.left(), tile.bottom() - captionHeight, tile.width(), captionHeight), Qt::AlignCenter,
               caption);
    return pixmap;
}

QPixmap navPicture(NavPicture which, QSize size, bool highlighted)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = std::min(size.width(), size.height()) - 4;
    const QPointF c(size.width() / 2.0, size.height() / 2.0);
    const QColor base = which == NavPicture::Stop ? QColor(0xc0, 0x39, 0x2b) : kSteel;
    QRadialGradient ball(c - QPointF(d * 0.2, d * 0.25), d * 0.8);
    ball.setColorAt(0, highlighted ? base.lighter(170) : base.lighter(135));
    ball.setColorAt(1, highlighted ? base : base.darker(125));
    p.setPen(QPen(kNavy, 1.5));
    p.setBrush(ball);
    p.drawEllipse(c, d / 2, d / 2);

    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal a = d * 0.22;
    if (which == NavPicture::Stop) {
        p.drawRoundedRect(QRectF(c.x() - a, c.y() - a, 2 * a, 2 * a), 2, 2);
    } else {
        const qreal dir = which == NavPicture::Next ? 1 : -1;
        QPainterPath arrow;
        arrow.moveTo(c + QPointF(dir * a * 1.3, 0));
        arrow.lineTo(c + QPointF(-dir * a * 0.2, -a * 1.2));
        arrow.lineTo(c + QPointF(-dir * a * 0.2, -a * 0.45));
        arrow.lineTo(c + QPointF(-dir * a * 1.2, -a * 0.45));
        arrow.lineTo(c + QPointF(-dir * a * 1.2, a * 0.45));
        arrow.lineTo(c + QPointF(-dir * a * 0.2, a * 0.45));
        arrow.lineTo(c + QPointF(-dir * a * 0.2, a * 1.2));
        arrow.closeSubpath();
        p.drawPath(arrow);
    }
    return pixmap;
}

QPixmap logoPicture(QSize size, bool highlighted)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = size.height() * 0.7;
    const QRectF mark(4, (size.height() - side) / 2, side, side);
    QRadialGradient disc(mark.center() - QPointF(side * 0.2, side * 0.2), side);
    disc.setColorAt(0, highlighted ? QColor(0xff, 0xd0, 0x80) : kAmber.lighter(120));
    disc.setColorAt(1, kAmber.darker(130));
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(mark);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(int(side * 0.62));
    p.setFont(font);
    p.setPen(kNavy);
    p.drawText(mark, Qt::AlignCenter, QStringLiteral("S"));

    const QRectF words(mark.right() + 6, 0, size.width() - mark.right() - 8, size.height());
    font.setPixelSize(int(size.height() * 0.25));
    p.setFont(font);
    p.setPen(highlighted ? QColor(0xff, 0xe1, 0xa8) : Qt::white);
    p.drawText(words.adjusted(0, 0, 0, -size.height() / 2.0), Qt::AlignLeft | Qt::AlignBottom,
               QStringLiteral("Velmora"));
    font.setBold(false);
    font.setPixelSize(int(size.height() * 0.19));
    p.setFont(font);
    p.setPen(QColor(0xc8, 0xd8, 0xea));
    p.drawText(words.adjusted(0, size.height() / 2.0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("Sarvik Undelete"));
    return pixmap;
}

QPixmap applicationPicture(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient disc(QPointF(side * 0.35, side * 0.35), side);
    disc.setColorAt(0, kSky);
    disc.setColorAt(1, kNavy);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawRoundedRect(QRectF(0, 0, side, side), side * 0.2, side * 0.2);
    drawDocument(p, side * 0.22, side * 0.14, side * 0.5, side * 0.64);
    p.setBrush(kAmber);
    p.setPen(QPen(kNavy, 1));
    p.drawPath(arrowDown(side * 0.68, side * 0.42, side * 0.4, side * 0.5));
    return pixmap;
}

} // namespace sarvik::ui
