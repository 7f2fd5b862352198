#include "Buttons.h"

#include "ArtKit.h"
#include "Icons.h"
#include "skin/SkinTable.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <map>

namespace qelvo::art {
namespace {

// Some strips are shown in a button smaller than their frame (the window moves the button
// to a smaller rectangle): their content is laid out in that top-left part.
QSize shownSize(int id, QSize frame) {
    switch (id) {
        case 139:
            return {100, 101};
        case 207:
        case 208:
            return {43, 43};
        default:
            return frame;
    }
}

// Icon above a label, for the 49 x 34 command buttons.  A label too long for one line at a
// legible size goes on two lines under a smaller icon.
void iconTile(QPainter& p, const QRect& r, Look look, Icon ic, const QString& label) {
    buttonFace(p, r, look);
    const int shift = look == Look::Pressed ? 1 : 0;
    const QColor c = labelColour(look);
    const QFont oneLine = fittedFont(label, r.width() - 4, 11);
    const int space = label.indexOf(' ');
    if (oneLine.pixelSize() >= 10 || space < 0) {
        icon(p, ic, QRectF(r.center().x() - 7.5, r.top() + 3 + shift, 15, 15), c);
        text(p, QRect(r.left() + 2, r.top() + 18 + shift, r.width() - 4, 13), label, oneLine, c);
        return;
    }
    icon(p, ic, QRectF(r.center().x() - 5.5, r.top() + 3 + shift, 11, 11), c);
    const QFont f = font(10, true, true);
    text(p, QRect(r.left() + 2, r.top() + 13 + shift, r.width() - 4, 10), label.left(space), f, c);
    text(p, QRect(r.left() + 2, r.top() + 22 + shift, r.width() - 4, 10), label.mid(space + 1), f,
         c);
}

// Icon left of a label, for the single-frame transport and file buttons.
void iconLabel(QPainter& p, const QRect& r, Icon ic, const QString& label,
               const QColor& iconColour = colour::kText) {
    buttonFace(p, r, Look::Normal);
    // Long labels get a smaller icon so the text stays legible.
    const int iconSide = std::min(r.height() - 10, label.size() > 8 ? 12 : 16);
    icon(p, ic, QRectF(r.left() + 5, r.center().y() - iconSide / 2.0 + 0.5, iconSide, iconSide),
         iconColour);
    const QRect textBox(r.left() + 7 + iconSide, r.top(), r.width() - 10 - iconSide, r.height());
    text(p, textBox, label, fittedFont(label, textBox.width(), 12), colour::kText);
}

void launcherTile(QPainter& p, const QRect& r, Look look, Icon ic, const QStringList& lines,
                  const QColor& accent) {
    const QRect box = r.adjusted(2, 2, -2, -2);
    buttonFace(p, box, look, accent, 12);
    const int shift = look == Look::Pressed ? 1 : 0;
    // Lens ring behind the icon.
    const QPointF centre(box.center().x() + 0.5, box.top() + 34 + shift);
    p.save();
    QRadialGradient g(centre, 25);
    g.setColorAt(0, QColor(0x0b, 0x0e, 0x11));
    g.setColorAt(0.85, QColor(0x15, 0x19, 0x1e));
    g.setColorAt(1, look == Look::Normal ? colour::kLineLight : accent);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, 24, 24);
    if (look == Look::Hover) {
        p.setPen(QPen(QColor(accent.red(), accent.green(), accent.blue(), 90), 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, 26, 26);
    }
    p.restore();
    const QColor iconColour = look == Look::Normal ? colour::kText : accent.lighter(115);
    icon(p, ic, QRectF(centre.x() - 14, centre.y() - 14, 28, 28), iconColour);
    const QColor c = labelColour(look, accent);
    const int lineHeight = 13;
    int y = box.bottom() - 4 - lineHeight * int(lines.size()) + shift;
    for (const QString& s : lines) {
        text(p, QRect(box.left() + 3, y, box.width() - 6, lineHeight), s,
             fittedFont(s, box.width() - 8, 13), c);
        y += lineHeight;
    }
}

void layoutButton(QPainter& p, const QRect& r, Look look, Icon ic, const QString& label,
                  const QString& sub) {
    buttonFace(p, r.adjusted(1, 1, -1, -1), look, colour::kAccent, 6);
    const int shift = look == Look::Pressed ? 1 : 0;
    const QColor c = labelColour(look);
    icon(p, ic, QRectF(r.left() + 12, r.top() + 8 + shift, 28, 28),
         look == Look::Normal ? colour::kTextDim : colour::kAccent);
    text(p, QRect(r.left() + 50, r.top() + 5 + shift, 90, 20), label, font(17, true, false), c,
         Qt::AlignLeft | Qt::AlignVCenter);
    text(p, QRect(r.left() + 50, r.top() + 24 + shift, 90, 14), sub, font(11, false, true),
         look == Look::Normal ? colour::kTextDim : colour::kText, Qt::AlignLeft | Qt::AlignVCenter);
}

void toolButton(QPainter& p, const QRect& r, Look look, Icon ic) {
    buttonFace(p, r.adjusted(1, 1, -1, -1), look, colour::kAccent, 5);
    const int shift = look == Look::Pressed ? 1 : 0;
    const QColor c = look == Look::Normal  ? colour::kText
                     : look == Look::Hover ? QColor(0xff, 0xff, 0xff)
                                           : colour::kAccent;
    icon(p, ic, QRectF(r.left() + 7, r.top() + 7 + shift, 21, 21), c);
}

void windowButton(QPainter& p, const QRect& r, Icon ic, const QColor& tint) {
    p.save();
    const QRectF box = QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0, tint.lighter(125));
    g.setColorAt(1, tint.darker(140));
    p.setPen(QPen(colour::kLineDark, 1));
    p.setBrush(g);
    p.drawRoundedRect(box, 4, 4);
    p.setPen(QPen(QColor(255, 255, 255, 45), 1));
    p.drawLine(box.topLeft() + QPointF(4, 1), box.topRight() + QPointF(-4, 1));
    p.restore();
    icon(p, ic, QRectF(r.center().x() - 7.5, r.center().y() - 7.5, 16, 16), colour::kText);
}

void alarmLed(QPainter& p, const QRect& r, bool lit) {
    p.fillRect(r, colour::kWell);
    p.save();
    const QRectF box = QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5);
    p.setPen(QPen(colour::kLineDark, 1));
    p.setBrush(QColor(0x1a, 0x1d, 0x22));
    p.drawRoundedRect(box, 3, 3);
    const QPointF c = box.center();
    QRadialGradient g(c - QPointF(1.5, 1.5), 8);
    if (lit) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xff, 0x30, 0x20, 80));
        p.drawEllipse(c, 9.5, 9.5);
        g.setColorAt(0, QColor(0xff, 0xe0, 0xd8));
        g.setColorAt(0.35, QColor(0xff, 0x45, 0x30));
        g.setColorAt(1, QColor(0xa0, 0x10, 0x10));
    } else {
        g.setColorAt(0, QColor(0x70, 0x48, 0x48));
        g.setColorAt(1, QColor(0x2a, 0x14, 0x14));
    }
    p.setPen(QPen(QColor(0x08, 0x08, 0x08), 1));
    p.setBrush(g);
    p.drawEllipse(c, 7, 7);
    p.restore();
}

// The three-segment mode tab strip with segment `active` lit.
QImage modeTabs(int active) {
    QImage image = newCanvas(404, 44, colour::kWell);
    QPainter p(&image);
    setupPainter(p);
    const char* names[] = {"CAPTURE", "IMAGE", "MOVIE"};
    const Icon icons[] = {Icon::Camera, Icon::Library, Icon::Play};
    for (int i = 0; i < 3; ++i) {
        // Segment bounds follow the window's x * 3 / width rule.
        const int left = (404 * i + 2) / 3, right = (404 * (i + 1) + 2) / 3 - 1;
        const QRect seg(left, 0, right - left + 1, 44);
        const bool on = i == active;
        buttonFace(p, seg.adjusted(1, 3, -1, -3), on ? Look::Pressed : Look::Normal,
                   colour::kAccent, 5);
        const QColor c = on ? colour::kAccent : colour::kTextDim;
        icon(p, icons[i], QRectF(seg.left() + 16, seg.center().y() - 9, 18, 18), c);
        text(p, QRect(seg.left() + 40, seg.top(), seg.width() - 48, 44), names[i],
             font(16, true, false), on ? colour::kText : colour::kTextDim,
             Qt::AlignLeft | Qt::AlignVCenter);
        if (on) p.fillRect(QRect(seg.left() + 10, 36, seg.width() - 20, 3), colour::kAccent);
    }
    return image;
}

QImage single(int w, int h, const std::function<void(QPainter&, const QRect&)>& paint) {
    QImage image = newCanvas(w, h, colour::kWell);
    QPainter p(&image);
    setupPainter(p);
    paint(p, image.rect());
    return image;
}

}  // namespace

QImage paintStrip(int id) {
    const SkinBitmapSpec* sheet = findSkinBitmapSpec(id);
    if (!sheet || sheet->frames < 1) return {};
    const int fw = sheet->width / sheet->frames, h = sheet->height;
    const QSize shown = shownSize(id, QSize(fw, h));
    const QRect s(0, 0, shown.width(), shown.height());

    auto tile = [&](Icon ic, const QString& label) {
        return strip(sheet->width, h, 3, [&](QPainter& p, const QRect&, Look look, int) {
            iconTile(p, s, look, ic, label);
        });
    };
    auto launcher = [&](Icon ic, QStringList lines, QColor accent) {
        return strip(sheet->width, h, 3, [&](QPainter& p, const QRect&, Look look, int) {
            launcherTile(p, s, look, ic, lines, accent);
        });
    };
    auto layout = [&](Icon ic, const QString& label, const QString& sub) {
        return strip(sheet->width, h, 3, [&](QPainter& p, const QRect&, Look look, int) {
            layoutButton(p, s, look, ic, label, sub);
        });
    };

    static const std::map<int, Icon> tools = {
        {171, Icon::Sun},          {172, Icon::Contrast},
        {173, Icon::Hue},          {174, Icon::Saturation},
        {175, Icon::Histogram},    {176, Icon::Equalise},
        {177, Icon::Loupe},        {178, Icon::Fit},
        {179, Icon::ZoomOut},      {180, Icon::ZoomIn},
        {181, Icon::Rotate90},     {182, Icon::Rotate180},
        {183, Icon::FlipVertical}, {184, Icon::MirrorHorizontal},
    };
    if (auto it = tools.find(id); it != tools.end()) {
        const Icon ic = it->second;
        return strip(sheet->width, h, 3, [&](QPainter& p, const QRect&, Look look, int) {
            toolButton(p, s, look, ic);
        });
    }

    switch (id) {
        case 138:
            return launcher(Icon::MultiView, {"IMAGE VIEW"}, colour::kAccent);
        case 139:
            return launcher(Icon::Library, {"IMAGE", "MANAGEMENT"}, colour::kAccent);
        case 140:
            return launcher(Icon::Power, {"EXIT"}, colour::kAlarm);
        case 141:
            return modeTabs(0);
        case 142:
            return modeTabs(1);
        case 143:
            return modeTabs(2);
        case 144:
            return single(fw, h, [](QPainter& p, const QRect& r) {
                windowButton(p, r, Icon::Close, QColor(0x8a, 0x2a, 0x2a));
            });
        case 145:
            return single(fw, h, [](QPainter& p, const QRect& r) {
                windowButton(p, r, Icon::Minimise, QColor(0x3a, 0x41, 0x4b));
            });
        case 146:
            return tile(Icon::Gear, "CONFIG");
        case 147:
            return tile(Icon::Camera, "SNAP");
        case 148:
            return single(fw, h, [](QPainter& p, const QRect& r) {
                iconLabel(p, r, Icon::RecordDot, "RECORD");
            });
        case 149:
            return single(fw, h, [](QPainter& p, const QRect& r) {
                iconLabel(p, r, Icon::StopSquare, "STOP");
            });
        case 150:
            return single(fw, h, [](QPainter& p, const QRect& r) {
                iconLabel(p, r, Icon::Folder, "OPEN", colour::kWarm);
            });
        case 151:
            return single(fw, h, [](QPainter& p, const QRect& r) {
                iconLabel(p, r, Icon::Play, "PLAY", colour::kAccent);
            });
        case 152:
            return layout(Icon::LayoutOne, "FULL", "1 VIEW");
        case 153:
            return layout(Icon::LayoutTwo, "DUAL", "2 VIEWS");
        case 154:
            return layout(Icon::LayoutFour, "QUAD", "4 VIEWS");
        case 155:
            return tile(Icon::Freeze, "FREEZE");
        case 156:
            return tile(Icon::Camera, "CAPT 2");
        case 157:
            return tile(Icon::Camera, "CAPT 3");
        case 158:
            return tile(Icon::Camera, "CAPT 4");
        case 159:
            return tile(Icon::Expand, "FULL SCREEN");
        case 160:
            return single(fw, h, [](QPainter& p, const QRect& r) {
                buttonFace(p, r, Look::Normal);
                icon(p, Icon::Printer, QRectF(r.center().x() - 11, r.top() + 4, 22, 22),
                     colour::kText);
                text(p, QRect(r.left(), r.top() + 28, r.width(), 14), "PRINT", font(11, true, true),
                     colour::kText);
            });
        case 161:
            return single(fw, h, [](QPainter& p, const QRect& r) {
                iconLabel(p, r, Icon::Rename, "FILE RENAME", colour::kWarm);
            });
        case 162:
            return single(fw, h, [](QPainter& p, const QRect& r) {
                iconLabel(p, r, Icon::FolderOption, "FOLDER OPTION", colour::kWarm);
            });
        case 163:
            return strip(sheet->width, h, 2, [&](QPainter& p, const QRect& r, Look, int frame) {
                alarmLed(p, r, frame == 1);
            });
        case 205:
        case 207:
        case 208:
        case 209: {
            const Icon ic = id == 205 ? Icon::Clear : id == 209 ? Icon::Eraser : Icon::Pen;
            const char* label = id == 205 ? "CLEAR" : id == 209 ? "ERASE" : "PEN";
            const bool on = id == 208;
            return single(fw, h, [&](QPainter& p, const QRect&) {
                buttonFace(p, s, on ? Look::Pressed : Look::Normal, colour::kWarm);
                const QColor c = on ? colour::kWarm : colour::kText;
                icon(p, ic, QRectF(s.center().x() - 10, s.top() + 4, 20, 20), c);
                text(p, QRect(s.left(), s.top() + 26, s.width(), 13), label, font(10, true, true),
                     c);
                if (on)
                    p.fillRect(QRect(s.left() + 8, s.bottom() - 3, s.width() - 16, 2),
                               colour::kWarm);
            });
        }
        default:
            return {};
    }
}

}  // namespace qelvo::art
