#include "measureui/ActiveObjectives.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include <cmath>

namespace qelvo {
namespace {

// A widget the operator types text into: its digits are its own.
bool takesText(QObject* object) {
    if (qobject_cast<QLineEdit*>(object) || qobject_cast<QAbstractSpinBox*>(object)) return true;
    if (auto* text = qobject_cast<QTextEdit*>(object)) return !text->isReadOnly();
    if (auto* text = qobject_cast<QPlainTextEdit*>(object)) return !text->isReadOnly();
    if (auto* combo = qobject_cast<QComboBox*>(object)) return combo->isEditable();
    return false;
}

}  // namespace

ActiveObjectives::ActiveObjectives(std::string deviceName, measure::ObjectiveStore store,
                                   QObject* parent)
    : QObject(parent), deviceName_(std::move(deviceName)), store_(std::move(store)) {
    measure::ObjectiveStore::Loaded loaded = store_.load(deviceName_);
    objectives_ = std::move(loaded.objectives);
    problem_ = std::move(loaded.problem);
    if (objectives_.objectives.empty()) objectives_ = measure::defaultObjectives();
    const int count = static_cast<int>(objectives_.objectives.size());
    if (objectives_.active < 0 || objectives_.active >= count) objectives_.active = 0;
}

double ActiveObjectives::micrometresPerPixelAt(int width, int height) const {
    const measure::Objective* objective = active();
    return objective ? objective->pixelSizeAt(width, height) : 0.0;
}

void ActiveObjectives::store() {
    saveError_.clear();
    std::string error;
    if (!store_.save(deviceName_, objectives_, &error))
        saveError_ = error.empty() ? std::string("the objectives could not be stored") : error;
}

bool ActiveObjectives::choose(int index) {
    if (index < 0 || index >= static_cast<int>(objectives_.objectives.size())) return false;
    if (index == objectives_.active) return true;
    objectives_.active = index;
    store();
    emit activeObjectiveChanged();
    emit objectivesChanged();
    return true;
}

bool ActiveObjectives::handleKey(int key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (key < Qt::Key_1 || key > Qt::Key_9) return false;
    return choose(key - Qt::Key_1);
}

void ActiveObjectives::watchKeys(QWidget* window) {
    if (!window) return;
    keysOf_ = window;
    // A key goes to the widget with the focus first (a results list would keep the digits
    // for its own search), so keys are watched for the whole application and taken only for
    // this window's widgets.
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(this);
    else
        window->installEventFilter(this);
}

bool ActiveObjectives::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && keysOf_ && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget != keysOf_ && !keysOf_->isAncestorOf(widget)) return false;
        if (takesText(widget)) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        // Keypad digits arrive with the keypad modifier; that is still a digit.
        if (!key->isAutoRepeat() && handleKey(key->key(), key->modifiers() & ~Qt::KeypadModifier))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

bool ActiveObjectives::calibrate(int index, double micrometresPerPixel, int width, int height) {
    if (index < 0 || index >= static_cast<int>(objectives_.objectives.size())) return false;
    if (!(micrometresPerPixel > 0.0) || !std::isfinite(micrometresPerPixel) || width <= 0 ||
        height <= 0)
        return false;
    measure::Objective& objective = objectives_.objectives[index];
    objective.micrometresPerPixel = micrometresPerPixel;
    objective.atWidth = width;
    objective.atHeight = height;
    store();
    if (index == objectives_.active) emit activeObjectiveChanged();
    emit objectivesChanged();
    return true;
}

bool ActiveObjectives::replace(measure::DeviceObjectives objectives) {
    if (objectives.objectives.empty()) return false;
    const int count = static_cast<int>(objectives.objectives.size());
    if (objectives.active < 0 || objectives.active >= count) objectives.active = 0;
    objectives_ = std::move(objectives);
    store();
    emit activeObjectiveChanged();
    emit objectivesChanged();
    return true;
}

}  // namespace qelvo
