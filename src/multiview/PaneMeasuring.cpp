#include "multiview/PaneMeasuring.h"

#include "measureui/MeasurementDocument.h"
#include "measureui/MeasurementLayer.h"
#include "measureui/MeasurementPanel.h"

#include <QMouseEvent>
#include <QWidget>

#include <cmath>

namespace qelvo {
namespace {

bool sameFrame(const std::weak_ptr<const FrameRecord>& kept,
               const std::shared_ptr<const FrameRecord>& frame) {
    return !kept.expired() && !kept.owner_before(frame) && !frame.owner_before(kept);
}

}  // namespace

PaneMeasuring::PaneMeasuring(QWidget* window, std::array<QWidget*, 4> panes, PictureOf picture,
                             std::function<bool()> allowed)
    : QObject(window), panes_(panes), picture_(std::move(picture)), allowed_(std::move(allowed)) {
    document_ = new MeasurementDocument(window, this);
    tool_ = std::make_unique<MeasurementTool>(document_->session());
    panel_ = new MeasurementPanel(*document_, *tool_, window);
    panel_->setFileCommandsShown(false);
    for (int i = 0; i < 4; ++i) {
        // The pane measured now draws the document (with the shape under way); the others
        // what they keep.
        layers_[i] = new MeasurementLayer(
            [this, i] {
                MeasurementLayer::Content c;
                if (i == active_) {
                    c.shapes = &document_->session().shapes();
                    c.micrometresPerPixel = document_->micrometresPerPixel();
                    c.selected = document_->session().selected();
                    c.pending = tool_->pending() ? &*tool_->pending() : nullptr;
                } else {
                    c.shapes = &states_[i].shapes;
                    c.micrometresPerPixel = states_[i].micrometresPerPixel;
                }
                return c;
            },
            [this, i] { return mapping(i); }, panes_[i]);
        panes_[i]->installEventFilter(this);
        panes_[i]->setMouseTracking(true);  // the shape under way follows the pointer
    }
    connect(document_, &MeasurementDocument::changed, this, [this] {
        if (active_ >= 0) updateLayer(active_);
    });
}

void PaneMeasuring::updateLayer(int pane) {
    if (layers_[pane]) layers_[pane]->update();
}

PaneMeasuring::~PaneMeasuring() {
    // The panel and layers belong to the window and the panes but draw this object's
    // measurements: they go first.
    delete panel_;
    for (auto& layer : layers_) delete layer;
}

const std::vector<measure::Shape>& PaneMeasuring::shapesOf(int pane) const {
    return pane == active_ ? document_->session().shapes() : states_.at(pane).shapes;
}

std::optional<PictureMapping> PaneMeasuring::mapping(int pane) const {
    const PanePicture* picture = picture_(pane);
    if (!picture || !picture->holdsPicture()) return std::nullopt;
    const QWidget* widget = panes_[pane];
    return PictureMapping::stretched(picture->frame->width(), picture->frame->height(),
                                     widget->width(), widget->height());
}

void PaneMeasuring::keep() {
    if (active_ < 0) return;
    tool_->finish();
    states_[active_].shapes = document_->session().shapes();
}

void PaneMeasuring::activate(int pane) {
    if (pane == active_) return;
    keep();
    const int previous = active_;
    active_ = pane;
    const PaneState& state = states_[pane];
    document_->openUnsaved(state.micrometresPerPixel, {});
    document_->session().reset(state.shapes);
    if (previous >= 0) updateLayer(previous);
    updateLayer(pane);
}

void PaneMeasuring::paneRefreshed(int pane) {
    const PanePicture* picture = picture_(pane);
    PaneState& state = states_[pane];
    const std::shared_ptr<const FrameRecord> frame =
        picture && picture->holdsPicture() ? picture->frame : nullptr;
    if (frame && sameFrame(state.frame, frame)) return;
    if (!frame && state.frame.expired() && state.shapes.empty()) return;
    // Another picture (or none): its measurements start afresh, at the objective in use.
    state.frame = frame;
    state.shapes.clear();
    state.micrometresPerPixel =
        frame && micrometresPerPixel ? micrometresPerPixel(frame->width(), frame->height()) : 0.0;
    if (pane == active_) {
        tool_->cancel();
        document_->openUnsaved(state.micrometresPerPixel, {});
    }
    updateLayer(pane);
}

bool PaneMeasuring::takesPress(int pane, QPointF at) const {
    if (tool_->kind() || tool_->busy()) return true;
    const std::optional<PictureMapping> m = mapping(pane);
    if (!m) return false;
    const measure::Point p = m->toPicture(at);
    const double tolerance = MeasurementTool::kGrabDistance * m->picturePixelsPerPanelPixel();
    const auto& shapes = shapesOf(pane);
    for (const auto& shape : shapes)
        for (const auto& q : shape.points)
            if (std::hypot(q.x - p.x, q.y - p.y) <= tolerance) return true;
    if (pane == active_) return document_->session().shapeAt(p, tolerance) >= 0;
    MeasurementSession probe;
    probe.reset(shapes);
    return probe.shapeAt(p, tolerance) >= 0;
}

bool PaneMeasuring::keyPressed(int key, Qt::KeyboardModifiers modifiers) {
    if (active_ < 0) return false;
    const bool control = modifiers & Qt::ControlModifier;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && tool_->pending()) {
        tool_->finish();
    } else if (key == Qt::Key_Escape && tool_->pending()) {
        tool_->cancel();
    } else if (key == Qt::Key_Delete && document_->session().selected() >= 0) {
        document_->session().removeSelected();
    } else if (control && key == Qt::Key_Z) {
        panel_->undo();
    } else if (control && key == Qt::Key_Y) {
        panel_->redo();
    } else {
        return false;
    }
    updateLayer(active_);
    return true;
}

bool PaneMeasuring::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
        return false;
    int pane = -1;
    for (int i = 0; i < 4; ++i)
        if (watched == panes_[i]) pane = i;
    if (pane < 0 || !allowed_()) return false;
    const std::optional<PictureMapping> m = mapping(pane);
    if (!m) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPointF at = mouse->position();
    switch (type) {
        case QEvent::MouseButtonPress:
            pressTaken_ = false;
            if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton)
                return false;
            if (!takesPress(pane, at)) return false;
            activate(pane);
            pressTaken_ = tool_->press(at, *m, mouse->button() == Qt::RightButton);
            break;
        case QEvent::MouseMove:
            if (pane != active_ || !tool_->move(at, *m)) return pressTaken_;
            break;
        case QEvent::MouseButtonRelease:
            if (!pressTaken_ || pane != active_) return false;
            tool_->release(at, *m);
            pressTaken_ = false;
            updateLayer(pane);
            return true;
        case QEvent::MouseButtonDblClick:
            if (pane != active_ || !tool_->doubleClick(at, *m)) return tool_->kind().has_value();
            break;
        default:
            return false;
    }
    updateLayer(pane);
    return true;
}

}  // namespace qelvo
