#include "Backgrounds.h"

#include "ArtKit.h"
#include "Icons.h"
#include "skin/SkinTable.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace qelvo::art {
namespace {

// A library clip: a dark picture well with a light band along its bottom, where the window
// writes the picture's name in dark text over the art.
void clipSlot(QPainter& p, const QRect& clip, int number) {
    well(p, clip, 2);
    const QRect band(clip.left() + 1, clip.bottom() - 21, clip.width() - 2, 21);
    p.fillRect(band, QColor(0xc4, 0xcc, 0xd5));
    p.fillRect(QRect(band.left(), band.top(), band.width(), 1), QColor(0x8b, 0x95, 0xa3));
    text(p, QRect(clip.left(), clip.top(), clip.width(), clip.height() - 22),
         QStringLiteral("CLIP #%1").arg(number), font(11, true, true), colour::kTextFaint);
}

QRect rectOf(std::span<const PlacedControl> controls, int id) {
    for (const auto& c : controls)
        if (c.controlId == id) return c.rect;
    return {};
}

QRect rectOf(std::span<const SkinnedControl> controls, int id) {
    for (const auto& c : controls)
        if (c.controlId == id) return c.rect;
    return {};
}

void topBar(QPainter& p, int width, int height) {
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, QColor(0x1a, 0x1e, 0x24));
    g.setColorAt(1, QColor(0x0e, 0x10, 0x13));
    p.fillRect(QRect(0, 0, width, height), g);
    p.fillRect(QRect(0, height, width, 1), colour::kLineDark);
    p.fillRect(QRect(0, height + 1, width, 1), QColor(0x3a, 0x42, 0x4d));
}

void footer(QPainter& p, const QRect& r, const QString& left, const QString& right) {
    p.fillRect(r, QColor(0x0e, 0x10, 0x13));
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), QColor(0x30, 0x37, 0x40));
    text(p, r.adjusted(16, 0, -16, 0), left, font(11, true, false), colour::kTextFaint,
         Qt::AlignLeft | Qt::AlignVCenter);
    text(p, r.adjusted(16, 0, -16, 0), right, font(11, false, false), colour::kTextFaint,
         Qt::AlignRight | Qt::AlignVCenter);
}

// The product mark: lens symbol and name, with an optional window title after it.
void brand(QPainter& p, const QPoint& at, int size, const QString& title) {
    icon(p, Icon::Lens, QRectF(at.x(), at.y(), size, size), colour::kAccent);
    QFont f = font(int(size * 0.62), true, false);
    f.setLetterSpacing(QFont::AbsoluteSpacing, size * 0.06);
    const QRect nameBox(at.x() + size + 10, at.y(), 900, size);
    text(p, nameBox, QStringLiteral("QELVO_TARNEL"), f, colour::kText,
         Qt::AlignLeft | Qt::AlignVCenter);
    if (!title.isEmpty()) {
        const int nameWidth = QFontMetrics(f).horizontalAdvance(QStringLiteral("QELVO_TARNEL"));
        const int x = nameBox.left() + nameWidth + 14;
        p.fillRect(QRect(x, at.y() + size / 5, 2, size * 3 / 5), colour::kAccent);
        QFont t = font(int(size * 0.45), false, false);
        t.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
        text(p, QRect(x + 12, at.y(), 600, size), title, t, colour::kTextDim,
             Qt::AlignLeft | Qt::AlignVCenter);
    }
}

// Faint optical reticle: concentric rings with tick marks.
void reticle(QPainter& p, const QPointF& c, double radius) {
    p.save();
    for (int i = 0; i < 4; ++i) {
        const double r = radius * (1.0 - i * 0.22);
        p.setPen(QPen(QColor(0x34, 0xc6, 0xda, 16 + i * 6), i == 0 ? 2 : 1));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, r, r);
    }
    p.setPen(QPen(QColor(0x34, 0xc6, 0xda, 40), 1));
    for (int k = 0; k < 72; ++k) {
        const double a = k * M_PI / 36;
        const double r0 = radius - (k % 6 == 0 ? 14 : 6);
        p.drawLine(QPointF(c.x() + r0 * std::cos(a), c.y() + r0 * std::sin(a)),
                   QPointF(c.x() + radius * std::cos(a), c.y() + radius * std::sin(a)));
    }
    p.setPen(QPen(QColor(0x34, 0xc6, 0xda, 22), 1, Qt::DashLine));
    p.drawLine(QPointF(c.x() - radius - 30, c.y()), QPointF(c.x() + radius + 30, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - radius - 30), QPointF(c.x(), c.y() + radius + 30));
    p.restore();
}

// A display panel: deep well with corner marks and its caption above.
void panel(QPainter& p, const QRect& r, const QString& title) {
    well(p, r, 4);
    p.save();
    p.setPen(QPen(colour::kAccentDeep, 2));
    const int m = 7, len = 14;
    const QRect o = r.adjusted(-m, -m, m, m);
    p.drawPolyline(
        QPolygon({QPoint(o.left(), o.top() + len), o.topLeft(), QPoint(o.left() + len, o.top())}));
    p.drawPolyline(QPolygon(
        {QPoint(o.right() - len, o.top()), o.topRight(), QPoint(o.right(), o.top() + len)}));
    p.drawPolyline(QPolygon(
        {QPoint(o.left(), o.bottom() - len), o.bottomLeft(), QPoint(o.left() + len, o.bottom())}));
    p.drawPolyline(QPolygon({QPoint(o.right() - len, o.bottom()), o.bottomRight(),
                             QPoint(o.right(), o.bottom() - len)}));
    p.restore();
    // The empty panel reads as a display: faint centre cross and caption inside.
    p.save();
    p.setPen(QPen(QColor(0x34, 0xc6, 0xda, 28), 1));
    const QPoint c = r.center();
    p.drawLine(c.x() - 12, c.y(), c.x() + 12, c.y());
    p.drawLine(c.x(), c.y() - 12, c.x(), c.y() + 12);
    p.restore();
    if (!title.isEmpty()) caption(p, QPoint(r.left() - 4, r.top() - 22), title);
}

void infoLines(QPainter& p, const QRect& r, const QStringList& lines) {
    int y = r.top();
    for (const QString& line : lines) {
        const bool head = line.startsWith('#');
        const QString s = head ? line.mid(1) : line;
        text(p, QRect(r.left(), y, r.width(), 16), s, font(head ? 13 : 12, head, !head),
             head ? colour::kText : colour::kTextDim, Qt::AlignLeft | Qt::AlignVCenter);
        y += head ? 17 : 16;
    }
}

QImage launcher() {
    const WindowSkin& w = launcherSkin();
    QImage image = newCanvas(w.size.width(), w.size.height());
    QPainter p(&image);
    setupPainter(p);
    fillBackground(p, image.rect());

    // Optical rings centred on the cluster of the three big buttons.
    QRect cluster;
    for (const auto& c : w.skinned) cluster = cluster.united(c.rect);
    reticle(p, QPointF(cluster.center()) + QPointF(0.5, 0.5), 250);

    // Header: mark, name and a one-line description.
    brand(p, QPoint(60, 118), 64, QString());
    p.fillRect(QRect(60, 200, 420, 3), colour::kAccent);
    p.fillRect(QRect(480, 200, 120, 3), colour::kAccentDeep);
    QFont sub = font(17, false, false);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    text(p, QRect(60, 214, 700, 24), QStringLiteral("DIGITAL IMAGING STATION"), sub, colour::kText,
         Qt::AlignLeft | Qt::AlignVCenter);
    text(p, QRect(60, 240, 700, 22),
         QStringLiteral("USB cameras and inspection microscopes  ·  live view  ·  snapshots  ·  "
                        "movies  ·  comparison"),
         font(14, false, false), colour::kTextDim, Qt::AlignLeft | Qt::AlignVCenter);

    // Sockets for the big buttons.
    for (const auto& c : w.skinned) well(p, c.rect, 3);

    // The device list sits in a framed group with its caption.
    const QRect list = rectOf(w.placed, 1036);
    group(p, list.adjusted(-14, -12, 14, 12), QStringLiteral("VIDEO DEVICE"));
    // The closed list is about 36 pixels high; its drop-down opens over the rest.
    well(p, QRect(list.left(), list.top(), list.width(), 36), 2);
    text(p, QRect(list.left(), list.top() + 42, list.width(), 16),
         QStringLiteral("Choose the camera or microscope to work with."), font(12, false, true),
         colour::kTextDim, Qt::AlignLeft | Qt::AlignVCenter);
    infoLines(p, QRect(list.left() - 6, list.bottom() + 40, 330, 100),
              {"#IMAGE VIEW", "Compare up to four snapshots side by side, annotate, print.",
               "#IMAGE MANAGEMENT", "Live view, snapshots, movies and the picture library."});

    for (const QPoint s : {QPoint(14, 14), QPoint(1009, 14), QPoint(14, 720), QPoint(1009, 720)})
        screw(p, s);
    footer(p, QRect(0, 736, 1024, 32), QStringLiteral("QELVO_TARNEL  Version 1.0"),
           QStringLiteral("Right-click or F1: About"));
    return image;
}

QImage imageManagement() {
    const WindowSkin& w = imageManagementSkin();
    QImage image = newCanvas(w.size.width(), w.size.height());
    QPainter p(&image);
    setupPainter(p);
    fillBackground(p, image.rect());
    topBar(p, 1024, 54);
    brand(p, QPoint(450, 15), 26, QStringLiteral("IMAGE MANAGEMENT"));

    // Top bar sockets: mode tabs, minimise, close.
    for (int id : {1019, 1003, 2}) well(p, rectOf(w.skinned, id), 2);

    // Display panel with its pan bars.
    const QRect view = rectOf(w.placed, 1037);
    const QRect panBars = view.united(rectOf(w.placed, 1050)).united(rectOf(w.placed, 1051));
    panel(p, panBars, QString());
    text(p, QRect(view.left(), panBars.bottom() + 4, view.width(), 14),
         QStringLiteral("VIEW PANEL"), font(10, true, false), colour::kTextFaint,
         Qt::AlignRight | Qt::AlignVCenter);

    // Folder list.
    const QRect folders = kImageManagementFolderListShown;
    caption(p, QPoint(folders.left(), folders.top() - 16), QStringLiteral("STORAGE FOLDER"), 10);
    well(p, QRect(folders.left(), folders.top(), folders.width(), 26), 2);

    // Picture tools.
    QRect tools;
    for (const auto& c : w.skinned)
        if (c.controlId >= 1171 && c.controlId <= 1184) tools = tools.united(c.rect);
    group(p, tools.adjusted(-9, -12, 18, 10), QStringLiteral("PICTURE TOOLS"));
    for (const auto& c : w.skinned)
        if (c.controlId >= 1171 && c.controlId <= 1184) well(p, c.rect, 1);

    // Mode guide.
    const QRect guide(tools.left() - 9, tools.bottom() + 40, 316, 200);
    group(p, guide, QStringLiteral("MODES"));
    infoLines(p, guide.adjusted(14, 12, -10, -8),
              {"#CAPTURE", "Live picture, SNAP, RECORD, device CONFIG.", "#IMAGE",
               "Pictures of the folder: zoom, loupe and tools.", "#MOVIE",
               "OPEN an AVI movie, PLAY and STOP it.", "#LIBRARY",
               "Click a clip to view it, double-click to delete.", "#SNAPSHOTS",
               "JPEG pictures in today's folder, named by time."});

    // Command buttons of the three modes share one panel.
    QRect commands;
    for (int id : {1024, 1022, 1023, 1011, 1025, 1029, 1030, 1031, 1034, 1035})
        commands = commands.united(rectOf(w.skinned, id));
    group(p, commands.adjusted(-10, -10, 6, 8), QStringLiteral("CONTROLS"));

    // Media library: eight clips and the strip bar.
    QRect library;
    for (int id = 1040; id <= 1047; ++id) library = library.united(rectOf(w.placed, id));
    library = library.united(rectOf(w.placed, 1100));
    group(p, library.adjusted(-10, -10, 10, 6), QString());
    for (int id = 1040; id <= 1047; ++id) clipSlot(p, rectOf(w.placed, id), id - 1039);
    icon(p, Icon::Library, QRectF(40, 660, 28, 28), colour::kTextFaint);
    well(p, rectOf(w.placed, 1100), 1);
    return image;
}

QImage multiView(int layout) {
    const WindowSkin& w = multiViewSkin(layout);
    QImage image = newCanvas(w.size.width(), w.size.height());
    QPainter p(&image);
    setupPainter(p);
    fillBackground(p, image.rect());
    topBar(p, 1024, 40);
    const char* layoutName = layout == 4 ? "QUAD" : layout == 2 ? "DUAL" : "FULL";
    brand(p, QPoint(20, 8), 24, QStringLiteral("MULTI-VIEW DISPLAY  ·  %1").arg(layoutName));
    for (int id : {1003, 2}) well(p, rectOf(w.skinned, id), 2);

    // Stage with the panes of this layout.
    QRect stage(52, 140, 752, 574);
    p.fillRect(stage, QColor(0x12, 0x15, 0x19));
    p.setPen(QColor(0x2c, 0x33, 0x3c));
    p.drawRect(stage.adjusted(0, 0, -1, -1));
    for (const auto& pane : w.panes) panel(p, pane.rect, pane.caption);
    if (layout == 2) {
        // The two views leave the lower stage free: a quiet note on how they fill.
        const QRect note(91, 500, 673, 150);
        icon(p, Icon::LayoutTwo, QRectF(note.center().x() - 30, note.top(), 60, 60),
             colour::kTextFaint);
        text(p, QRect(note.left(), note.top() + 66, note.width(), 20),
             QStringLiteral("Snapshots freeze VIEW DISPLAY 1, then 2; one more returns to live."),
             font(14, false, false), colour::kTextFaint);
    }

    // Annotation tools, colour strip and PRINT.
    QRect annotation;
    for (int id : {1206, 1207, 1208, 1014}) annotation = annotation.united(rectOf(w.skinned, id));
    group(p, annotation.adjusted(-8, -9, 8, 6), QStringLiteral("ANNOTATION"));
    for (int id : {1206, 1207, 1208, 1014}) well(p, rectOf(w.skinned, id), 1);
    well(p, kPenSwatchStrip, 2);
    text(p, QRect(kPenSwatchStrip.left(), kPenSwatchStrip.top() - 12, 95, 11),
         QStringLiteral("PEN COLOUR"), font(9, true, false), colour::kTextDim,
         Qt::AlignLeft | Qt::AlignVCenter);

    // Capture commands and the alarm indicator.
    QRect capture;
    for (int id : {1013, 1012, 1011, 1048}) capture = capture.united(rectOf(w.skinned, id));
    group(p, capture.adjusted(-8, -10, 56, 10), QStringLiteral("CAPTURE"));
    for (int id : {1013, 1012, 1011, 1048}) well(p, rectOf(w.skinned, id), 1);
    const QRect alarm = rectOf(w.skinned, 1048);
    text(p, QRect(alarm.left() - 6, alarm.bottom() + 3, alarm.width() + 12, 11),
         QStringLiteral("ALARM"), font(9, true, true), colour::kTextDim);

    // How the pen works, beside the annotation tools.
    const QRect howTo(812, 160, 188, 96);
    group(p, howTo, QStringLiteral("PEN"));
    infoLines(
        p, howTo.adjusted(10, 8, -6, -4),
        {"Turn PEN on, pick a colour,", "then draw on a frozen view.", "ERASE removes the strokes,",
         "CLEAR also the pictures.", "PRINT: one report page."});

    // Snapshot hint where the (hidden) capture buttons sit.
    QRect hidden;
    for (int id : {1007, 1008, 1009, 1010}) hidden = hidden.united(rectOf(w.skinned, id));
    group(p, hidden.adjusted(-8, -6, 56, 6), QStringLiteral("SNAPSHOT"));
    infoLines(p, hidden.adjusted(2, 2, 50, 0),
              {"The device's button or", "SAVE freezes the view.", "When all are frozen,",
               "one more returns to live."});

    // Layout selector, with the active layout marked.
    QRect layouts;
    for (int id : {1004, 1005, 1006}) layouts = layouts.united(rectOf(w.skinned, id));
    group(p, layouts.adjusted(-8, -10, 8, 10), QStringLiteral("LAYOUT"));
    for (int id : {1004, 1005, 1006}) well(p, rectOf(w.skinned, id), 1);
    const int activeId = layout == 4 ? 1006 : layout == 2 ? 1005 : 1004;
    const QRect active = rectOf(w.skinned, activeId);
    p.fillRect(QRect(active.left() - 6, active.top() + 6, 3, active.height() - 12),
               colour::kAccent);

    footer(p, QRect(0, 736, 1024, 32), QStringLiteral("QELVO_TARNEL"),
           QStringLiteral("Click a frozen view to see it full size"));

    // The swatches last, so nothing else touches their pixels.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(kPenSwatchStrip, QColor(0x1a, 0x1d, 0x22));
    for (int i = 0; i < int(kPenSwatchColours.size()); ++i)
        p.fillRect(QRect(kPenSwatchStrip.left() + i * kPenSwatchWidth, kPenSwatchStrip.top(),
                         kPenSwatchWidth, kPenSwatchStrip.height()),
                   QColor(kPenSwatchColours[i]));
    return image;
}

QImage imageManagementHd() {
    const WindowSkin& w = imageManagementHdSkin();
    QImage image = newCanvas(w.size.width(), w.size.height());
    QPainter p(&image);
    setupPainter(p);
    fillBackground(p, image.rect());
    topBar(p, 1200, 35);
    brand(p, QPoint(660, 7), 22, QStringLiteral("IMAGE MANAGEMENT HD"));
    for (int id : {1019, 1020, 1021, 1003, 2}) well(p, rectOf(w.placed, id), 1);
    panel(p, rectOf(w.placed, 1037), QString());
    QRect column;
    for (int id : {1024, 1022, 1023, 1029, 1030, 1031, 1011, 1025, 1034, 1035})
        column = column.united(rectOf(w.placed, id));
    group(p, column.adjusted(-6, -12, 6, 12), QStringLiteral("CONTROLS"));
    for (int id : {1024, 1022, 1023, 1029, 1030, 1031, 1011, 1025, 1034, 1035})
        well(p, rectOf(w.placed, id), 1);
    const QRect folders = rectOf(w.placed, 1036);
    well(p, QRect(folders.left(), folders.top(), folders.width(), 22), 1);
    for (int id = 1040; id <= 1047; ++id) clipSlot(p, rectOf(w.placed, id), id - 1039);
    well(p, rectOf(w.placed, 1100), 1);
    return image;
}

QImage multiViewHd() {
    const WindowSkin& w = multiViewHdSkin(1);
    QImage image = newCanvas(w.size.width(), w.size.height());
    QPainter p(&image);
    setupPainter(p);
    fillBackground(p, image.rect());
    panel(p, w.panes[0].rect, QString());
    QRect column;
    for (const auto& c : w.placed)
        if (c.rect.left() == 1020) column = column.united(c.rect);
    brand(p, QPoint(1022, 44), 20, QString());
    text(p, QRect(1022, 66, 170, 16), QStringLiteral("MULTI-VIEW DISPLAY HD"),
         font(12, true, false), colour::kTextDim, Qt::AlignLeft | Qt::AlignVCenter);
    group(p, column.adjusted(-6, -8, 6, 8), QString());
    for (const auto& c : w.placed) well(p, c.rect, 1);
    return image;
}

}  // namespace

QImage paintBackground(int id) {
    switch (id) {
        case 129:
            return launcher();
        case 130:
            return multiView(1);
        case 131:
            return multiView(2);
        case 132:
            return multiView(4);
        case 212:
            return imageManagementHd();
        case 213:
            return multiViewHd();
        case 221:
            return imageManagement();
        default:
            return {};
    }
}

void drawProgramIcon(QPainter& p, qreal side) {
    QLinearGradient g(0, 0, 0, side);
    g.setColorAt(0, QColor(0x3a, 0x41, 0x4b));
    g.setColorAt(1, QColor(0x16, 0x19, 0x1d));
    p.setPen(QPen(colour::kLineDark, 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, side - 1, side - 1), side / 6.0, side / 6.0);
    icon(p, Icon::Lens, QRectF(side * 0.1, side * 0.1, side * 0.8, side * 0.8), colour::kAccent);
}

QImage paintProgramIcon(int side) {
    QImage image = newCanvas(side, side, colour::kWell);
    QPainter p(&image);
    setupPainter(p);
    drawProgramIcon(p, side);
    return image;
}

QImage paintDesktopIcon(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    setupPainter(p);
    drawProgramIcon(p, side);
    return image;
}

}  // namespace qelvo::art
