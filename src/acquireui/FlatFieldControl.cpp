#include "acquireui/FlatFieldControl.h"

#include "acquireui/FlatFieldController.h"
#include "skin/SkinPalette.h"

#include <QMenu>

namespace qelvo {

using Kind = acquire::FlatFieldStore::Kind;

FlatFieldControl::FlatFieldControl(FlatFieldController& controller, QWidget* parent)
    : MenuValueControl(QStringLiteral("FLAT"), parent), controller_(controller) {
    setObjectName(QStringLiteral("flat-field control"));
    setToolTip(
        QStringLiteral("Flat-field correction: references per objective, on or off for "
                       "this device"));
    connect(&controller_, &FlatFieldController::changed, this, [this] { update(); });
}

QMenu* FlatFieldControl::buildMenu() {
    auto* menu = new QMenu(this);
    menu->setStyleSheet(palette::controlStyleSheet());
    const QString objective = QString::fromStdString(controller_.objective());
    menu->addSection(objective.isEmpty() ? QStringLiteral("Flat-field")
                                         : QStringLiteral("Flat-field \u2014 %1").arg(objective));
    const bool idle = !controller_.busy();
    QAction* on = menu->addAction(QStringLiteral("Flat-field correction"));
    on->setObjectName(QStringLiteral("flat-field on"));
    on->setCheckable(true);
    on->setChecked(controller_.enabled());
    on->setEnabled(idle && (controller_.hasFlat() || controller_.enabled()));
    connect(on, &QAction::toggled, this, [this](bool checked) { controller_.setEnabled(checked); });
    menu->addSeparator();
    const int frames = FlatFieldController::kReferenceFrames;
    QAction* flat = menu->addAction(
        QStringLiteral("Take flat (%1 frames of an empty, evenly lit field)").arg(frames));
    flat->setObjectName(QStringLiteral("take flat"));
    flat->setEnabled(idle);
    connect(flat, &QAction::triggered, this, [this] { controller_.take(Kind::Flat); });
    QAction* dark =
        menu->addAction(QStringLiteral("Take dark (%1 frames with the light off)").arg(frames));
    dark->setObjectName(QStringLiteral("take dark"));
    dark->setEnabled(idle);
    connect(dark, &QAction::triggered, this, [this] { controller_.take(Kind::Dark); });
    QAction* clear =
        menu->addAction(controller_.hasDark() && controller_.hasFlat()
                            ? QStringLiteral("Clear references (flat and dark)")
                        : controller_.hasDark() ? QStringLiteral("Clear references (dark)")
                                                : QStringLiteral("Clear references"));
    clear->setObjectName(QStringLiteral("clear references"));
    clear->setEnabled(idle);
    connect(clear, &QAction::triggered, this, [this] { controller_.clear(); });
    return menu;
}

QString FlatFieldControl::valueText() const {
    return controller_.stateText();
}

bool FlatFieldControl::lit() const {
    return controller_.correcting();
}

}  // namespace qelvo
