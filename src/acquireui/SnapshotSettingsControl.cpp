#include "acquireui/SnapshotSettingsControl.h"

#include "skin/SkinPalette.h"

#include <QActionGroup>
#include <QMenu>

namespace qelvo {
namespace {

QString formatName(PictureFormat format) {
    switch (format) {
        case PictureFormat::Png:
            return QStringLiteral("PNG");
        case PictureFormat::Tiff:
            return QStringLiteral("TIFF");
        default:
            return QStringLiteral("JPG");
    }
}

}  // namespace

SnapshotSettingsControl::SnapshotSettingsControl(Access access, QWidget* parent)
    : MenuValueControl(QStringLiteral("SAVE AS"), parent), access_(std::move(access)) {
    setObjectName(QStringLiteral("snapshot settings"));
    setToolTip(QStringLiteral("Snapshot format and frames averaged (kept for this device)"));
}

QString SnapshotSettingsControl::text() const {
    const int average = access_.average ? access_.average() : 1;
    QString text = formatName(access_.format ? access_.format() : PictureFormat::Jpeg);
    if (average > 1) text += QStringLiteral(" \u00d7%1").arg(average);
    return text;
}

QMenu* SnapshotSettingsControl::buildMenu() {
    auto* menu = new QMenu(this);
    menu->setStyleSheet(palette::controlStyleSheet());
    menu->addSection(QStringLiteral("Snapshot format"));
    auto* formats = new QActionGroup(menu);
    const PictureFormat current = access_.format ? access_.format() : PictureFormat::Jpeg;
    const std::pair<PictureFormat, const char*> kinds[] = {
        {PictureFormat::Jpeg, "JPEG (smallest files)"},
        {PictureFormat::Png, "PNG (lossless)"},
        {PictureFormat::Tiff, "TIFF (lossless, opens calibrated in ImageJ)"}};
    for (const auto& [format, name] : kinds) {
        QAction* action = menu->addAction(QString::fromLatin1(name));
        action->setCheckable(true);
        action->setChecked(format == current);
        formats->addAction(action);
        connect(action, &QAction::triggered, this, [this, format = format] {
            if (access_.setFormat) access_.setFormat(format);
            update();
        });
    }
    menu->addSection(QStringLiteral("Frames averaged"));
    auto* averages = new QActionGroup(menu);
    const int average = access_.average ? access_.average() : 1;
    for (int n : kAverages) {
        QAction* action = menu->addAction(n == 1 ? QStringLiteral("1 frame (no averaging)")
                                                 : QStringLiteral("%1 frames").arg(n));
        action->setCheckable(true);
        action->setChecked(n == average);
        averages->addAction(action);
        connect(action, &QAction::triggered, this, [this, n] {
            if (access_.setAverage) access_.setAverage(n);
            update();
        });
    }
    return menu;
}

QString SnapshotSettingsControl::valueText() const {
    return text();
}

}  // namespace qelvo
