#include "measureui/CalibrationFlow.h"

#include "measure/Length.h"

#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include <cmath>
#include <mutex>
#include <numbers>
#include <vector>

namespace qelvo {

// The worker holds the relay, the flow holds it too; the flow lets go of it when it goes, and
// a result arriving then is dropped.
struct CalibrationFlow::Relay {
    std::mutex mutex;
    QPointer<CalibrationFlow> flow;  // read and cleared under the mutex, used on the GUI thread
};

namespace {

// The picture's grey levels, rows top first.
std::vector<std::uint8_t> greyOf(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(rgb.width()) * rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        std::uint8_t* out = grey.data() + static_cast<std::size_t>(y) * rgb.width();
        for (int x = 0; x < rgb.width(); ++x)
            out[x] = static_cast<std::uint8_t>(
                (77 * qRed(in[x]) + 150 * qGreen(in[x]) + 29 * qBlue(in[x]) + 128) >> 8);
    }
    return grey;
}

// The part of the infinite line through `p` along `d` inside `box`, if any.
std::optional<QLineF> clip(QPointF p, QPointF d, const QRectF& box) {
    double t0 = -1e12, t1 = 1e12;
    const double ps[2] = {p.x(), p.y()}, ds[2] = {d.x(), d.y()};
    const double lo[2] = {box.left(), box.top()}, hi[2] = {box.right(), box.bottom()};
    for (int i = 0; i < 2; ++i) {
        if (std::abs(ds[i]) < 1e-12) {
            if (ps[i] < lo[i] || ps[i] > hi[i]) return std::nullopt;
            continue;
        }
        double a = (lo[i] - ps[i]) / ds[i], b = (hi[i] - ps[i]) / ds[i];
        if (a > b) std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
    }
    if (t0 >= t1) return std::nullopt;
    return QLineF(p + d * t0, p + d * t1);
}

}  // namespace

CalibrationFlow::CalibrationFlow(QObject* parent)
    : QObject(parent),
      finder_(measure::findRuling),
      spacingError_(QStringLiteral("type the spacing of the ruling")),
      lengthError_(QStringLiteral("type the length of the line")),
      relay_(std::make_shared<Relay>()) {
    relay_->flow = this;
}

CalibrationFlow::~CalibrationFlow() {
    std::lock_guard<std::mutex> lock(relay_->mutex);
    relay_->flow = nullptr;
}

void CalibrationFlow::setPicture(const QImage& picture) {
    picture_ = picture;
    ruling_.reset();
    line_ = QLineF();
    startSearch();
    emit changed();
}

void CalibrationFlow::setMode(Mode mode) {
    if (mode_ == mode) return;
    mode_ = mode;
    emit changed();
}

void CalibrationFlow::startSearch() {
    const int generation = ++generation_;
    if (picture_.isNull()) {
        searching_ = false;
        return;
    }
    searching_ = true;
    auto grey = std::make_shared<std::vector<std::uint8_t>>(greyOf(picture_));
    const int w = picture_.width(), h = picture_.height();
    std::shared_ptr<Relay> relay = relay_;
    Finder finder = finder_;
    QThreadPool::globalInstance()->start([grey, w, h, relay, finder, generation] {
        const measure::GreyView view{grey->data(), w, h, w};
        measure::Ruling ruling;
        try {
            ruling = finder(view);
        } catch (...) {
            ruling = measure::Ruling{};
            ruling.reason = "the search for a ruling failed";
        }
        std::lock_guard<std::mutex> lock(relay->mutex);
        if (CalibrationFlow* flow = relay->flow.data())
            QMetaObject::invokeMethod(
                flow, [flow, generation, ruling] { flow->onFound(generation, ruling); },
                Qt::QueuedConnection);
    });
}

void CalibrationFlow::onFound(int generation, const measure::Ruling& ruling) {
    if (generation != generation_) return;  // a newer picture is being searched
    searching_ = false;
    ruling_ = ruling;
    emit rulingFound();
    emit changed();
}

std::vector<QLineF> CalibrationFlow::rulingLines() const {
    std::vector<QLineF> lines;
    if (!ruling_ || !ruling_->found || !(ruling_->pitchPixels > 0.5)) return lines;
    const measure::Ruling& r = *ruling_;
    const QRectF box(QPointF(r.left, r.top), QPointF(r.right, r.bottom));
    const QPointF centre(picture_.width() / 2.0, picture_.height() / 2.0);
    const double a = r.angleDegrees * std::numbers::pi / 180.0;
    auto family = [&](QPointF normal) {
        const QPointF along(-normal.y(), normal.x());
        // Every line whose offset from the centre reaches the box.
        const double reach = std::hypot(picture_.width(), picture_.height());
        const int first = static_cast<int>(std::floor((-reach - r.phasePixels) / r.pitchPixels));
        const int last = static_cast<int>(std::ceil((reach - r.phasePixels) / r.pitchPixels));
        for (int k = first; k <= last && lines.size() < 2000; ++k) {
            const double d = r.phasePixels + k * r.pitchPixels;
            if (auto l = clip(centre + normal * d, along, box)) lines.push_back(*l);
        }
    };
    family(QPointF(std::cos(a), std::sin(a)));
    if (r.crossGrid) family(QPointF(-std::sin(a), std::cos(a)));
    return lines;
}

bool CalibrationFlow::setSpacing(const QString& text) {
    std::string error;
    spacing_ = measure::parseLength(text.trimmed().toStdString(), &error);
    spacingError_ = spacing_ ? QString() : QString::fromStdString(error);
    if (text.trimmed().isEmpty()) spacingError_ = QStringLiteral("type the spacing of the ruling");
    emit changed();
    return spacing_.has_value();
}

void CalibrationFlow::setLine(const QLineF& line) {
    line_ = line;
    emit changed();
}

bool CalibrationFlow::setLineLength(const QString& text) {
    std::string error;
    lineLength_ = measure::parseLength(text.trimmed().toStdString(), &error);
    lengthError_ = lineLength_ ? QString() : QString::fromStdString(error);
    if (text.trimmed().isEmpty()) lengthError_ = QStringLiteral("type the length of the line");
    emit changed();
    return lineLength_.has_value();
}

std::optional<double> CalibrationFlow::micrometresPerPixel() const {
    if (mode_ == Mode::Automatic) {
        if (!ruling_ || !ruling_->found || !spacing_ || !(ruling_->pitchPixels > 0.0))
            return std::nullopt;
        return *spacing_ / ruling_->pitchPixels;
    }
    if (!lineLength_ || line_.length() < 2.0) return std::nullopt;
    return *lineLength_ / line_.length();
}

QString CalibrationFlow::status() const {
    if (picture_.isNull()) return QStringLiteral("No picture to calibrate from.");
    const auto result = [this](double pixels) {
        const std::optional<double> size = micrometresPerPixel();
        QString text = QStringLiteral("%1 px").arg(pixels, 0, 'f', 2);
        if (size)
            text += QStringLiteral(" → %1 per pixel")
                        .arg(QString::fromStdString(measure::formatLength(*size, 4)));
        return text;
    };
    if (mode_ == Mode::Automatic) {
        if (searching_) return QStringLiteral("Looking for a ruling…");
        if (!ruling_) return QString();
        if (!ruling_->found) {
            const QString why = QString::fromStdString(ruling_->reason);
            return QStringLiteral(
                       "No ruling found%1. Try a sharper picture of the micrometer, "
                       "or draw a line over a known length (Manual).")
                .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why);
        }
        QString text =
            QStringLiteral("Ruling found: lines %1 apart").arg(result(ruling_->pitchPixels));
        if (!spacing_) text += QStringLiteral(". ") + spacingError_;
        return text;
    }
    if (line_.length() < 2.0) return QStringLiteral("Draw a line over a known length.");
    QString text = QStringLiteral("Line %1").arg(result(line_.length()));
    if (!lineLength_) text += QStringLiteral(". ") + lengthError_;
    return text;
}

}  // namespace qelvo
