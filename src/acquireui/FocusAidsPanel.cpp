#include "acquireui/FocusAidsPanel.h"

#include "acquireui/FocusAidsController.h"
#include "skin/SkinPalette.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace qelvo {
namespace {

constexpr int kMargin = 6;

// Row heights for a panel of that height: roomy, compact, or without the button row (whose
// commands are then on the panel's right-click menu).
struct Rows {
    int buttons;
    int focus;
    int gap;
};
Rows rowsFor(int height) {
    if (height >= 130) return {22, 26, 4};
    if (height >= 84) return {18, 20, 3};
    return {0, 18, 2};
}

QFont narrow(int pixels, bool bold = false) {
    QFont font(QStringLiteral("Liberation Sans Narrow"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QString share(double fraction) {
    const double percent = fraction * 100.0;
    if (percent < 0.1) return QStringLiteral("<0.1%");
    return percent < 10.0 ? QString::number(percent, 'f', 1) + QLatin1Char('%')
                          : QString::number(std::lround(percent)) + QLatin1Char('%');
}

// A histogram channel as a path over `box`, each level's count against `top`, on a square
// root scale so small populations still show.
QPainterPath channelPath(const std::array<std::uint32_t, 256>& counts, double top,
                         const QRectF& box, bool closed) {
    QPainterPath path;
    const double step = box.width() / 255.0;
    if (closed) path.moveTo(box.bottomLeft());
    for (int level = 0; level < 256; ++level) {
        const double v = top > 0 ? std::sqrt(std::min(1.0, counts[level] / top)) : 0.0;
        const QPointF point(box.left() + level * step, box.bottom() - v * box.height());
        if (!closed && level == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    if (closed) {
        path.lineTo(box.bottomRight());
        path.closeSubpath();
    }
    return path;
}

void paintPill(QPainter& p, const QRectF& box, const QString& text, bool lit, bool hover) {
    p.setPen(QPen(QColor(hover ? palette::kAccent : palette::kLineLight), 1));
    p.setBrush(QColor(lit ? palette::kAccentDeep : palette::kWell));
    p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    p.setFont(narrow(std::clamp(static_cast<int>(box.height() * 0.55), 10, 12), true));
    p.setPen(QColor(lit ? palette::kText : palette::kTextDim));
    p.drawText(box, Qt::AlignCenter, text);
}

}  // namespace

FocusAidsPanel::FocusAidsPanel(FocusAidsController& aids, QWidget* parent)
    : QWidget(parent), aids_(aids) {
    setObjectName(QStringLiteral("focus aids"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&aids_, &FocusAidsController::readingChanged, this, qOverload<>(&QWidget::update));
    connect(&aids_, &FocusAidsController::settingsChanged, this, qOverload<>(&QWidget::update));
}

QRect FocusAidsPanel::buttonRect(Button button) const {
    const Rows rows = rowsFor(height());
    if (rows.buttons == 0) return {};
    const int top = height() - kMargin - rows.buttons;
    const int gap = 5;
    const int w = (width() - 2 * kMargin - 2 * gap) / 3;
    return {kMargin + button * (w + gap), top, w, rows.buttons};
}

QRect FocusAidsPanel::histogramRect() const {
    const Rows rows = rowsFor(height());
    const int below = rows.buttons ? rows.buttons + rows.gap : 0;
    const int bottom = height() - kMargin - below - rows.focus - rows.gap;
    return QRect(kMargin, kMargin, width() - 2 * kMargin, std::max(10, bottom - kMargin));
}

QString FocusAidsPanel::buttonText(Button button) const {
    switch (button) {
        case Peaking:
            return QStringLiteral("PEAKING");
        case Region:
            return FocusAidsController::regionName(aids_.region());
        default:
            return QStringLiteral("RESET BEST");
    }
}

QString FocusAidsPanel::focusText() const {
    if (!aids_.reading()) return QStringLiteral("–");
    return QString::number(aids_.reading()->focus, 'f', aids_.reading()->focus < 100 ? 1 : 0);
}

QString FocusAidsPanel::bestText() const {
    return QStringLiteral("BEST ") + QString::number(aids_.best(), 'f', aids_.best() < 100 ? 1 : 0);
}

QString FocusAidsPanel::clippingText() const {
    if (!aids_.reading()) return {};
    const acquire::LevelHistogram& h = aids_.reading()->histogram;
    QStringList parts;
    if (h.clippedShadows) parts << QStringLiteral("shadows ") + share(h.shadowShare());
    if (h.clippedHighlights) parts << QStringLiteral("highlights ") + share(h.highlightShare());
    return parts.join(QStringLiteral("  "));
}

void FocusAidsPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The frame's own shading, as the panels drawn over the skin's frames have it.
    QLinearGradient back(0, 0, 0, height());
    back.setColorAt(0, QColor(0x23, 0x28, 0x2f));
    back.setColorAt(1, QColor(0x18, 0x1b, 0x20));
    p.fillRect(rect(), back);

    // Histogram well.
    const QRectF well = QRectF(histogramRect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(palette::kLineLight), 1));
    p.setBrush(QColor(palette::kWell));
    p.drawRoundedRect(well, 3, 3);
    const QRectF plot = well.adjusted(9, 5, -9, -4);
    // Quarter marks.
    p.setPen(QPen(QColor(palette::kTextFaint), 1, Qt::DotLine));
    for (int q = 1; q < 4; ++q) {
        const double x = plot.left() + plot.width() * q / 4;
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    const auto& reading = aids_.reading();
    if (reading && reading->histogram.samples) {
        const acquire::LevelHistogram& h = reading->histogram;
        // Scale to the tallest level away from the ends, so a clipped spike does not flatten
        // the rest (the ends are marked apart).
        std::uint32_t top = 1;
        for (int level = 1; level < 255; ++level)
            top = std::max({top, h.luma[level], h.red[level], h.green[level], h.blue[level]});
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xe2, 0xe7, 0xee, 70));
        p.drawPath(channelPath(h.luma, top, plot, true));
        p.setBrush(Qt::NoBrush);
        const QColor colours[3] = {QColor(0xff, 0x5a, 0x5a, 210), QColor(0x5a, 0xe0, 0x6a, 210),
                                   QColor(0x5a, 0x9a, 0xff, 230)};
        const std::array<std::uint32_t, 256>* channels[3] = {&h.red, &h.green, &h.blue};
        for (int c = 0; c < 3; ++c) {
            p.setPen(QPen(colours[c], 1.1));
            p.drawPath(channelPath(*channels[c], top, plot, false));
        }
        p.setPen(QPen(QColor(palette::kText), 1.3));
        p.drawPath(channelPath(h.luma, top, plot, false));
        // Clipped ends: a bar at that end, as tall as the share clipped (at least a mark),
        // with the share written beside it.
        auto clip = [&](double fraction, bool high) {
            if (fraction <= 0) return;
            const double tall =
                std::max(4.0, std::min(1.0, std::sqrt(fraction) * 2) * plot.height());
            const double x = high ? well.right() - 6 : well.left() + 2;
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(high ? palette::kAlarm : palette::kAccent));
            p.drawRect(QRectF(x, plot.bottom() - tall, 4, tall));
            p.setFont(narrow(10, true));
            p.setPen(QColor(high ? palette::kAlarm : palette::kAccent));
            const QRectF label(high ? plot.right() - 60 : plot.left() + 3, plot.top(), 57, 12);
            p.drawText(label, (high ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop,
                       share(fraction));
        };
        clip(h.shadowShare(), false);
        clip(h.highlightShare(), true);
    } else {
        p.setFont(narrow(11));
        p.setPen(QColor(palette::kTextFaint));
        p.drawText(plot, Qt::AlignCenter,
                   aids_.isOn() ? QStringLiteral("waiting for the live picture")
                                : QStringLiteral("focus aids off"));
    }

    // Focus row: caption, value, a bar of the value against the best, the best.
    const Rows rows = rowsFor(height());
    const QRectF row(kMargin, well.bottom() + rows.gap + 0.5, width() - 2 * kMargin, rows.focus);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(palette::kAccent));
    p.drawRect(QRectF(row.left() + 1, row.top() + 6, 3, row.height() - 12));
    p.setFont(narrow(11, true));
    p.setPen(QColor(palette::kTextDim));
    const QString caption = QStringLiteral("FOCUS");
    p.drawText(row.adjusted(9, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, caption);
    const double captionWidth = QFontMetrics(narrow(11, true)).horizontalAdvance(caption);
    const QFont big = narrow(rows.focus >= 24 ? 17 : 14, true);
    p.setFont(big);
    p.setPen(QColor(palette::kText));
    const QRectF valueBox = row.adjusted(15 + captionWidth, 0, 0, 0);
    p.drawText(valueBox, Qt::AlignVCenter | Qt::AlignLeft, focusText());
    const double valueWidth = std::max(46, QFontMetrics(big).horizontalAdvance(focusText()));
    const QFont small = narrow(11);
    const QString best = bestText();
    const double bestWidth = QFontMetrics(small).horizontalAdvance(best);
    p.setFont(small);
    p.setPen(QColor(palette::kTextDim));
    p.drawText(row, Qt::AlignVCenter | Qt::AlignRight, best);
    const QRectF bar(valueBox.left() + valueWidth + 8, row.center().y() - 3,
                     row.right() - bestWidth - 8 - (valueBox.left() + valueWidth + 8), 6);
    if (bar.width() > 12) {
        p.setPen(QPen(QColor(palette::kLineLight), 1));
        p.setBrush(QColor(palette::kWell));
        p.drawRoundedRect(bar, 2, 2);
        if (reading && aids_.best() > 0) {
            const double ratio = std::clamp(reading->focus / aids_.best(), 0.0, 1.0);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(ratio > 0.97 ? palette::kAccent : palette::kAccentDeep));
            p.drawRoundedRect(
                QRectF(bar.left() + 1, bar.top() + 1, (bar.width() - 2) * ratio, bar.height() - 2),
                1.5, 1.5);
        }
    }

    for (int b = 0; b < kButtons && rows.buttons; ++b) {
        const Button button = static_cast<Button>(b);
        paintPill(p, buttonRect(button), buttonText(button), b == Peaking && aids_.peaking(),
                  hover_ == b);
    }
}

int FocusAidsPanel::buttonAt(QPoint point) const {
    for (int b = 0; b < kButtons; ++b)
        if (buttonRect(static_cast<Button>(b)).contains(point)) return b;
    return -1;
}

void FocusAidsPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        QMenu menu(this);
        menu.setStyleSheet(palette::controlStyleSheet());
        QAction* peaking = menu.addAction(QStringLiteral("Focus peaking"));
        peaking->setCheckable(true);
        peaking->setChecked(aids_.peaking());
        QAction* region = menu.addAction(QStringLiteral("Measure over: ") +
                                         FocusAidsController::regionName(aids_.region()));
        QAction* reset = menu.addAction(QStringLiteral("Reset best value"));
        QAction* chosen = menu.exec(event->globalPosition().toPoint());
        if (chosen == peaking) aids_.setPeaking(!aids_.peaking());
        if (chosen == region) aids_.cycleRegion();
        if (chosen == reset) aids_.resetBest();
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    switch (buttonAt(event->position().toPoint())) {
        case Peaking:
            aids_.setPeaking(!aids_.peaking());
            break;
        case Region:
            aids_.cycleRegion();
            break;
        case ResetBest:
            aids_.resetBest();
            break;
        default:
            break;
    }
}

void FocusAidsPanel::mouseMoveEvent(QMouseEvent* event) {
    const int at = buttonAt(event->position().toPoint());
    if (at != hover_) {
        hover_ = at;
        update();
    }
}

void FocusAidsPanel::leaveEvent(QEvent*) {
    hover_ = -1;
    update();
}

FocusAidsSwitch::FocusAidsSwitch(FocusAidsController& aids, QWidget* parent)
    : QWidget(parent), aids_(aids) {
    setObjectName(QStringLiteral("focus aids switch"));
    setToolTip(QStringLiteral("Focus aids: histogram, focus value, peaking"));
    setCursor(Qt::PointingHandCursor);
    connect(&aids_, &FocusAidsController::settingsChanged, this, qOverload<>(&QWidget::update));
}

void FocusAidsSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect());
    paintPill(p, box, QString(), aids_.isOn(), hover_);
    // A small focus mark (a ring with four ticks) before the word.
    const double r = std::min(box.height() * 0.26, 5.0);
    const QPointF c(box.left() + 6 + r, box.center().y());
    p.setPen(QPen(QColor(aids_.isOn() ? palette::kText : palette::kTextDim), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    for (const QPointF& d : {QPointF(1, 0), QPointF(-1, 0), QPointF(0, 1), QPointF(0, -1)})
        p.drawLine(c + d * (r + 1), c + d * (r + 3));
    p.setFont(narrow(std::clamp(static_cast<int>(box.height() * 0.6), 10, 12), true));
    p.drawText(box.adjusted(2 * r + 14, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("FOCUS"));
}

void FocusAidsSwitch::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) aids_.setOn(!aids_.isOn());
}

void FocusAidsSwitch::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void FocusAidsSwitch::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

}  // namespace qelvo
