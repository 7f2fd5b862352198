#include "measureui/ObjectiveControl.h"

#include "measure/Length.h"
#include "measureui/ActiveObjectives.h"
#include "measureui/OverlayController.h"
#include "skin/SkinPalette.h"

#include <QActionGroup>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace qelvo {
namespace {

const char* const kSwitchNames[] = {"Crosshair", "Grid", "Circles", "Scale bar"};

QString menuStyle() {
    const auto c = [](QRgb rgb) { return QColor(rgb).name(); };
    return QStringLiteral(
               "QMenu { background: %1; color: %2; border: 1px solid %3; padding: 4px;"
               " font-family: 'Liberation Sans Narrow'; font-size: 14px; }"
               "QMenu::item { padding: 4px 24px 4px 24px; }"
               "QMenu::item:selected { background: %4; }"
               "QMenu::item:disabled { color: %5; }"
               "QMenu::separator { height: 1px; background: %3; margin: 4px 6px; }")
        .arg(c(palette::kWell), c(palette::kText), c(palette::kLineLight), c(palette::kAccentDeep),
             c(palette::kTextDim));
}

}  // namespace

ObjectiveControl::ObjectiveControl(ActiveObjectives& objectives, OverlayController& overlays,
                                   QWidget* parent)
    : QWidget(parent), objectives_(objectives), overlays_(overlays) {
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(QStringLiteral("Objective"));
    connect(&objectives_, &ActiveObjectives::objectivesChanged, this, [this] {
        updateTip();
        update();
    });
    connect(&overlays_, &OverlayController::settingsChanged, this, [this] { update(); });
    frameWatch_.setInterval(1000);
    connect(&frameWatch_, &QTimer::timeout, this, [this] {
        if (frameSize_ && frameSize_() != lastFrameSize_) update();
    });
    updateTip();
}

void ObjectiveControl::setFrameSizeSource(std::function<QSize()> source) {
    frameSize_ = std::move(source);
    if (frameSize_)
        frameWatch_.start();
    else
        frameWatch_.stop();
    update();
}

void ObjectiveControl::setSnapshotScaleBar(std::function<bool()> isOn,
                                           std::function<void(bool)> change) {
    snapshotScaleBarOn_ = std::move(isOn);
    changeSnapshotScaleBar_ = std::move(change);
}

QString ObjectiveControl::objectiveText() const {
    const measure::Objective* objective = objectives_.active();
    return objective ? QString::fromStdString(objective->name) : QStringLiteral("—");
}

QString ObjectiveControl::pixelSizeText() const {
    const measure::Objective* objective = objectives_.active();
    if (!objective || !objective->calibrated()) return QStringLiteral("not calibrated");
    const QSize frame = frameSize_ ? frameSize_() : QSize();
    const double size = frame.isEmpty() ? objective->micrometresPerPixel
                                        : objective->pixelSizeAt(frame.width(), frame.height());
    return QString::fromStdString(measure::formatLength(size, 3)) + QStringLiteral("/px");
}

void ObjectiveControl::updateTip() {
    QString tip = QStringLiteral("Objective in use (keys 1-9 choose one); click for the menu");
    if (!objectives_.problem().empty())
        tip += QStringLiteral("\n") + QString::fromStdString(objectives_.problem());
    if (!objectives_.saveError().empty())
        tip += QStringLiteral("\n") + QString::fromStdString(objectives_.saveError());
    setToolTip(tip);
}

void ObjectiveControl::setParts(Parts parts) {
    parts_ = parts;
    update();
}

QRect ObjectiveControl::objectiveArea() const {
    if (parts_ == Parts::Switches) return {};
    if (parts_ == Parts::Objective) return rect();
    if (twoRows()) return QRect(0, 0, width(), height() / 2 - 2);
    return QRect(0, 0, width() - 4 * 30 - 4, height());
}

QRect ObjectiveControl::switchArea(int k) const {
    if (parts_ == Parts::Objective) return {};
    if (parts_ == Parts::Switches) {
        const int w = (width() - 3 * 4) / 4;
        return QRect(k * (w + 4), 0, w, height());
    }
    if (twoRows()) {
        const int top = height() / 2 + 2;
        const int w = (width() - 3 * 4) / 4;
        return QRect(k * (w + 4), top, w, height() - top);
    }
    const int size = 28;
    return QRect(width() - (4 - k) * (size + 2) + 2, (height() - size) / 2, size, size);
}

void ObjectiveControl::paintSwitch(QPainter& p, int k, const QRect& area) {
    const OverlayController::Kind kind = static_cast<OverlayController::Kind>(k);
    const bool on = overlays_.isOn(kind);
    const QRectF r = QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(hover_ == k ? palette::kAccent : palette::kLineLight), 1));
    p.setBrush(QColor(on ? palette::kAccentDeep : palette::kWell));
    p.drawRoundedRect(r, 3, 3);
    const QColor ink = on ? QColor(palette::kText) : QColor(palette::kTextDim);
    p.setPen(QPen(ink, 1.4));
    p.setBrush(Qt::NoBrush);
    const QPointF c = r.center();
    const double s = std::min(r.width(), r.height()) * 0.32;
    switch (k) {
        case 0:  // crosshair
            p.drawLine(QPointF(c.x() - s, c.y()), QPointF(c.x() - s * 0.3, c.y()));
            p.drawLine(QPointF(c.x() + s * 0.3, c.y()), QPointF(c.x() + s, c.y()));
            p.drawLine(QPointF(c.x(), c.y() - s), QPointF(c.x(), c.y() - s * 0.3));
            p.drawLine(QPointF(c.x(), c.y() + s * 0.3), QPointF(c.x(), c.y() + s));
            break;
        case 1:  // grid
            for (int i = -1; i <= 1; ++i) {
                p.drawLine(QPointF(c.x() + i * s * 0.66, c.y() - s),
                           QPointF(c.x() + i * s * 0.66, c.y() + s));
                p.drawLine(QPointF(c.x() - s, c.y() + i * s * 0.66),
                           QPointF(c.x() + s, c.y() + i * s * 0.66));
            }
            break;
        case 2:  // circles
            p.drawEllipse(c, s, s);
            p.drawEllipse(c, s * 0.5, s * 0.5);
            break;
        default: {  // scale bar
            const double y = c.y() + s * 0.4;
            p.drawLine(QPointF(c.x() - s, y), QPointF(c.x() + s, y));
            p.drawLine(QPointF(c.x() - s, y - s * 0.5), QPointF(c.x() - s, y + 1));
            p.drawLine(QPointF(c.x() + s, y - s * 0.5), QPointF(c.x() + s, y + 1));
            p.drawLine(QPointF(c.x(), y - s * 0.3), QPointF(c.x(), y + 1));
            break;
        }
    }
    if (on) {  // the lit mark under an active switch, as the skin's tabs have it
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(palette::kAccent));
        p.drawRect(QRectF(r.left() + 4, r.bottom() - 2.5, r.width() - 8, 2));
    }
}

void ObjectiveControl::paintEvent(QPaintEvent*) {
    if (frameSize_) lastFrameSize_ = frameSize_();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    for (int k = 0; k < 4 && parts_ != Parts::Objective; ++k) paintSwitch(p, k, switchArea(k));
    if (parts_ == Parts::Switches) return;
    const QRectF box = QRectF(objectiveArea()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(hover_ == -1 ? palette::kAccent : palette::kLineLight), 1));
    p.setBrush(QColor(palette::kWell));
    p.drawRoundedRect(box, 3, 3);
    // The accent bar at the left, as the skin's section titles have it.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(objectives_.problem().empty() ? palette::kAccent : palette::kWarm));
    p.drawRect(QRectF(box.left() + 4, box.top() + 5, 3, box.height() - 10));

    QFont big(QStringLiteral("Liberation Sans Narrow"));
    big.setBold(true);
    big.setPixelSize(std::clamp(static_cast<int>(box.height() * 0.55), 11, 16));
    QFont small(QStringLiteral("Liberation Sans Narrow"));
    small.setPixelSize(std::clamp(static_cast<int>(box.height() * 0.45), 10, 13));
    const QString name = objectiveText();
    const QFontMetrics bigMetrics(big);
    const double nameWidth = bigMetrics.horizontalAdvance(name);
    QRectF text = box.adjusted(13, 0, -16, 0);
    p.setFont(big);
    p.setPen(QColor(palette::kText));
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, name);
    p.setFont(small);
    p.setPen(QColor(palette::kTextDim));
    p.drawText(text.adjusted(nameWidth + 8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
               QFontMetrics(small).elidedText(pixelSizeText(), Qt::ElideRight,
                                              static_cast<int>(text.width() - nameWidth - 8)));
    // The menu arrow.
    const QPointF a(box.right() - 10, box.center().y() + 2);
    QPainterPath arrow;
    arrow.moveTo(a + QPointF(-4, -3));
    arrow.lineTo(a + QPointF(4, -3));
    arrow.lineTo(a + QPointF(0, 2));
    arrow.closeSubpath();
    p.fillPath(arrow, QColor(hover_ == -1 ? palette::kAccent : palette::kTextDim));
}

QMenu* ObjectiveControl::buildMenu() {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setStyleSheet(menuStyle());
    auto* group = new QActionGroup(menu);
    const auto& list = objectives_.objectives().objectives;
    // The pixel sizes at the live frame's size, as the control shows the active one.
    const QSize frame = frameSize_ ? frameSize_() : QSize();
    for (int i = 0; i < static_cast<int>(list.size()); ++i) {
        const measure::Objective& o = list[i];
        const double size =
            frame.isEmpty() ? o.micrometresPerPixel : o.pixelSizeAt(frame.width(), frame.height());
        QString text = QString::fromStdString(o.name);
        text += o.calibrated() ? QStringLiteral("\t") +
                                     QString::fromStdString(measure::formatLength(size, 3)) +
                                     QStringLiteral("/px")
                               : QStringLiteral("\tnot calibrated");
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(i == objectives_.activeIndex());
        if (i < 9) action->setShortcut(QKeySequence(Qt::Key_1 + i));
        action->setShortcutContext(Qt::WidgetShortcut);  // the window's own keys choose
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] { objectives_.choose(i); });
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Calibrate…")), &QAction::triggered, this,
            &ObjectiveControl::calibrateRequested);
    connect(menu->addAction(QStringLiteral("Edit objectives…")), &QAction::triggered, this,
            &ObjectiveControl::editRequested);
    menu->addSeparator();
    for (int k = 0; k < 4; ++k) {
        const auto kind = static_cast<OverlayController::Kind>(k);
        QAction* action = menu->addAction(QString::fromLatin1(kSwitchNames[k]));
        action->setCheckable(true);
        action->setChecked(overlays_.isOn(kind));
        connect(action, &QAction::toggled, this,
                [this, kind](bool on) { overlays_.setOn(kind, on); });
    }
    if (snapshotScaleBarOn_ && changeSnapshotScaleBar_) {
        // Unlike the switches above, this one changes the pictures written.
        menu->addSeparator();
        QAction* action = menu->addAction(QStringLiteral("Scale bar in snapshots"));
        action->setCheckable(true);
        action->setChecked(snapshotScaleBarOn_());
        connect(action, &QAction::toggled, this, [this](bool on) {
            if (changeSnapshotScaleBar_) changeSnapshotScaleBar_(on);
        });
    }
    if (!objectives_.problem().empty()) {
        menu->addSeparator();
        menu->addAction(QString::fromStdString(objectives_.problem()))->setEnabled(false);
    }
    return menu;
}

void ObjectiveControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    for (int k = 0; k < 4; ++k)
        if (switchArea(k).contains(at)) {
            overlays_.toggle(static_cast<OverlayController::Kind>(k));
            return;
        }
    if (objectiveArea().contains(at)) buildMenu()->popup(mapToGlobal(objectiveArea().bottomLeft()));
}

void ObjectiveControl::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    int hover = objectiveArea().contains(at) ? -1 : -2;
    for (int k = 0; k < 4; ++k)
        if (switchArea(k).contains(at)) hover = k;
    if (hover != hover_) {
        hover_ = hover;
        setToolTip(hover >= 0 ? QString::fromLatin1(kSwitchNames[hover]) : QString());
        if (hover < 0) updateTip();
        update();
    }
}

void ObjectiveControl::leaveEvent(QEvent*) {
    hover_ = -2;
    update();
}

}  // namespace qelvo
