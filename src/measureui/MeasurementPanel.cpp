#include "measureui/MeasurementPanel.h"

#include "desktop/Dialogs.h"
#include "measureui/AnnotatedCopy.h"
#include "measureui/MeasurementDocument.h"
#include "measureui/MeasurementTool.h"
#include "skin/SkinPalette.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QSaveFile>
#include <QTableWidget>
#include <QToolButton>

#include <cmath>

namespace qelvo {
namespace {

using measure::ShapeKind;

struct KindButton {
    std::optional<ShapeKind> kind;
    const char* name;
    const char* tip;
};
constexpr KindButton kKinds[] = {
    {std::nullopt, "select", "Select and move points"},
    {ShapeKind::Line, "line", "Line: click two points or drag"},
    {ShapeKind::Polyline, "polyline", "Polyline: click the points, double-click the last"},
    {ShapeKind::Angle, "angle", "Angle: click an arm's end, the vertex, the other arm's end"},
    {ShapeKind::Rectangle, "rectangle", "Rectangle: two opposite corners"},
    {ShapeKind::Ellipse, "ellipse", "Ellipse: two opposite corners of its box"},
    {ShapeKind::Circle, "circle", "Circle: three points on its edge"},
    {ShapeKind::Polygon, "polygon", "Polygon: click the corners, double-click the last"},
    {ShapeKind::Points, "points", "Count points: click each, double-click the last"},
};

// The tool glyphs, drawn in the skin's text colour on the buttons' wells.
QIcon glyph(const char* name) {
    QPixmap pixmap(40, 40);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(palette::kText), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const std::string n = name;
    if (n == "select") {
        QPainterPath arrow;
        arrow.moveTo(12, 6);
        arrow.lineTo(12, 32);
        arrow.lineTo(19, 25);
        arrow.lineTo(25, 35);
        arrow.lineTo(29, 33);
        arrow.lineTo(23, 23);
        arrow.lineTo(32, 23);
        arrow.closeSubpath();
        p.setBrush(QColor(palette::kText));
        p.drawPath(arrow);
    } else if (n == "line") {
        p.drawLine(7, 33, 33, 7);
    } else if (n == "polyline") {
        p.drawPolyline(QPolygonF({{5, 32}, {15, 12}, {25, 26}, {35, 8}}));
    } else if (n == "angle") {
        p.drawPolyline(QPolygonF({{34, 8}, {7, 33}, {35, 33}}));
        p.drawArc(QRectF(-5, 21, 24, 24), 0, 45 * 16);
    } else if (n == "rectangle") {
        p.drawRect(QRectF(7, 11, 26, 18));
    } else if (n == "ellipse") {
        p.drawEllipse(QRectF(5, 11, 30, 18));
    } else if (n == "circle") {
        p.drawEllipse(QRectF(8, 8, 24, 24));
        p.setBrush(QColor(palette::kAccent));
        p.setPen(Qt::NoPen);
        for (QPointF c : {QPointF(20, 8), QPointF(9.6, 26), QPointF(30.4, 26)})
            p.drawEllipse(c, 3.5, 3.5);
    } else if (n == "polygon") {
        p.drawPolygon(QPolygonF({{8, 30}, {12, 9}, {28, 7}, {34, 22}, {22, 34}}));
    } else if (n == "points") {
        for (QPointF c : {QPointF(11, 12), QPointF(28, 15), QPointF(16, 29), QPointF(31, 31)}) {
            p.drawLine(c - QPointF(4, 0), c + QPointF(4, 0));
            p.drawLine(c - QPointF(0, 4), c + QPointF(0, 4));
        }
    }
    return QIcon(pixmap);
}

QString panelStyleSheet() {
    const auto c = [](QRgb rgb) { return QColor(rgb).name(); };
    return QStringLiteral(
               "QToolButton { background: %1; color: %2; border: 1px solid %3; border-radius: 3px;"
               " font-family: 'Liberation Sans Narrow'; font-size: 13px; font-weight: bold; }"
               "QToolButton:hover { border-color: %4; }"
               "QToolButton:pressed, QToolButton:checked { background: %5; border-color: %4; }"
               "QToolButton:disabled { color: %6; border-color: %7; }"
               "QTableWidget { background: %1; color: %2; border: 1px solid %3;"
               " gridline-color: %7; font-family: 'Liberation Sans Narrow'; font-size: 13px;"
               " selection-background-color: %5; selection-color: %2; }"
               "QHeaderView::section { background: %8; color: %9; border: none;"
               " border-right: 1px solid %7; padding: 1px 3px;"
               " font-family: 'Liberation Sans Narrow'; font-size: 12px; }"
               "QTableCornerButton::section { background: %8; border: none; }")
        .arg(c(palette::kWell), c(palette::kText), c(palette::kLineLight), c(palette::kAccent),
             c(palette::kAccentDeep), c(palette::kTextFaint), c(palette::kLineDark),
             c(palette::kBar), c(palette::kTextDim));
}

// Where a file command writes beside the pictures: its folder and name for messages.
QString fileName(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).fileName();
}

}  // namespace

MeasurementPanel::MeasurementPanel(MeasurementDocument& document, MeasurementTool& tool,
                                   QWidget* parent)
    : QWidget(parent), document_(document), tool_(tool) {
    setObjectName(QStringLiteral("measurement panel"));
    setStyleSheet(panelStyleSheet());
    files_.setMaxThreadCount(1);
    auto makeButton = [this](const QString& name, const QString& caption, const QString& tip) {
        auto* button = new QToolButton(this);
        button->setObjectName(name);
        button->setText(caption);
        button->setToolTip(tip);
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    for (const KindButton& k : kKinds) {
        QToolButton* button =
            makeButton(QString::fromLatin1(k.name), QString(), QString::fromLatin1(k.tip));
        button->setIcon(glyph(k.name));
        button->setIconSize(QSize(22, 22));
        button->setCheckable(true);
        const auto kind = k.kind;
        connect(button, &QToolButton::clicked, this, [this, kind] { chooseKind(kind); });
        kindButtons_.push_back(button);
    }
    undo_ = makeButton(QStringLiteral("undo"), QStringLiteral("UNDO"), QStringLiteral("Undo"));
    redo_ = makeButton(QStringLiteral("redo"), QStringLiteral("REDO"), QStringLiteral("Redo"));
    delete_ = makeButton(QStringLiteral("delete"), QStringLiteral("DELETE"),
                         QStringLiteral("Delete the selected measurement"));
    auto* copy = makeButton(QStringLiteral("copy"), QStringLiteral("COPY"),
                            QStringLiteral("Copy the results as text"));
    auto* csv = makeButton(QStringLiteral("csv"), QStringLiteral("CSV"),
                           QStringLiteral("Export the results as a CSV file"));
    auto* annotated =
        makeButton(QStringLiteral("save annotated"), QStringLiteral("SAVE WITH OVERLAYS"),
                   QStringLiteral("Save a copy with the measurements and scale bar drawn in"));
    auto* exportButton =
        makeButton(QStringLiteral("export"), QStringLiteral("EXPORT"),
                   QStringLiteral("Save the picture as PNG, TIFF or JPEG with its pixel size"));
    connect(undo_, &QAbstractButton::clicked, this, &MeasurementPanel::undo);
    connect(redo_, &QAbstractButton::clicked, this, &MeasurementPanel::redo);
    connect(delete_, &QAbstractButton::clicked, this, &MeasurementPanel::deleteSelected);
    connect(copy, &QAbstractButton::clicked, this, &MeasurementPanel::copyResults);
    connect(csv, &QAbstractButton::clicked, this, &MeasurementPanel::exportCsv);
    connect(annotated, &QAbstractButton::clicked, this, &MeasurementPanel::saveAnnotated);
    connect(exportButton, &QAbstractButton::clicked, this, &MeasurementPanel::exportPicture);

    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("results"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(20);
    table_->horizontalHeader()->setMinimumSectionSize(24);
    table_->setFocusPolicy(Qt::NoFocus);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &MeasurementPanel::rowSelected);

    connect(&document_, &MeasurementDocument::changed, this, &MeasurementPanel::refresh);
    chooseKind(std::nullopt);
    refresh();
}

QAbstractButton* MeasurementPanel::button(const QString& objectName) const {
    return findChild<QAbstractButton*>(objectName);
}

void MeasurementPanel::resizeEvent(QResizeEvent*) {
    const int w = width(), gap = 2;
    const int toolSize = 32;
    const int columns = std::max(1, (w + gap) / (toolSize + gap));
    const int toolWidth = (w - (columns - 1) * gap) / columns;
    int y = 0;
    for (std::size_t k = 0; k < kindButtons_.size(); ++k) {
        const int col = static_cast<int>(k) % columns, row = static_cast<int>(k) / columns;
        kindButtons_[k]->setGeometry(col * (toolWidth + gap), row * (30 + gap), toolWidth, 30);
        y = row * (30 + gap) + 30 + 4;
    }
    const QList<QAbstractButton*> actions = {undo_, redo_, delete_, button(QStringLiteral("copy")),
                                             button(QStringLiteral("csv"))};
    const int actionWidth = (w - 4 * gap) / 5;
    for (int k = 0; k < actions.size(); ++k)
        actions[k]->setGeometry(k * (actionWidth + gap), y,
                                k == 4 ? w - 4 * (actionWidth + gap) : actionWidth, 24);
    y += 24 + 4;
    const int bottom = height() - 26;
    table_->setGeometry(0, y, w, std::max(0, bottom - 4 - y));
    table_->setVisible(bottom - 4 - y >= 40);
    const int half = (w - gap) / 2;
    button(QStringLiteral("save annotated"))->setGeometry(0, bottom, half + 30, 26);
    button(QStringLiteral("export"))->setGeometry(half + 30 + gap, bottom, w - half - 30 - gap, 26);
}

void MeasurementPanel::chooseKind(std::optional<ShapeKind> kind) {
    tool_.setKind(kind);
    for (std::size_t k = 0; k < kindButtons_.size(); ++k)
        kindButtons_[k]->setChecked(kKinds[k].kind == kind);
}

void MeasurementPanel::undo() {
    tool_.cancel();
    document_.session().undo();
}

void MeasurementPanel::redo() {
    tool_.cancel();
    document_.session().redo();
}

void MeasurementPanel::deleteSelected() {
    document_.session().removeSelected();
}

void MeasurementPanel::refresh() {
    const auto& session = document_.session();
    undo_->setEnabled(session.canUndo());
    redo_->setEnabled(session.canRedo());
    delete_->setEnabled(session.selected() >= 0);
    // One row per shape, the columns of the results text.
    const QString text = QString::fromStdString(
        measure::resultsAsText(session.shapes(), document_.micrometresPerPixel()));
    QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    refreshing_ = true;
    const QStringList header =
        lines.isEmpty() ? QStringList() : lines.takeFirst().split(QLatin1Char('\t'));
    if (table_->columnCount() != header.size()) table_->setColumnCount(header.size());
    table_->setHorizontalHeaderLabels(header);
    table_->setRowCount(lines.size());
    for (int r = 0; r < lines.size(); ++r) {
        const QStringList cells = lines[r].split(QLatin1Char('\t'));
        for (int c = 0; c < header.size(); ++c) {
            const QString cell = c < cells.size() ? cells[c] : QString();
            QTableWidgetItem* item = table_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                table_->setItem(r, c, item);
            }
            item->setText(cell);
        }
    }
    table_->resizeColumnsToContents();
    if (session.selected() >= 0)
        table_->selectRow(session.selected());
    else
        table_->clearSelection();
    refreshing_ = false;
}

void MeasurementPanel::rowSelected() {
    if (refreshing_) return;
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    document_.session().select(ranges.isEmpty() ? -1 : ranges.front().topRow());
}

void MeasurementPanel::copyResults() {
    const std::string text =
        measure::resultsAsText(document_.session().shapes(), document_.micrometresPerPixel());
    QApplication::clipboard()->setText(QString::fromStdString(text));
    emit status(QStringLiteral("%1 measurements copied.").arg(document_.session().shapes().size()));
}

void MeasurementPanel::exportCsv() {
    if (document_.session().empty()) return;
    FileDialogRequest request;
    request.filter = QStringLiteral("CSV Files (*.csv)|*.csv||");
    request.defaultExtension = QStringLiteral("csv");
    const std::string& picture = document_.picturePath();
    request.initialName = picture.empty()
                              ? QStringLiteral("measurements.csv")
                              : QFileInfo(QString::fromStdString(picture)).completeBaseName() +
                                    QStringLiteral(".csv");
    if (!picture.empty())
        request.initialFolder = QFileInfo(QString::fromStdString(picture)).absolutePath();
    request.confirmOverwrite = true;
    const std::optional<QString> target = dialogs().saveFile(this, request);
    if (!target || target->isEmpty()) return;
    const QByteArray csv = QByteArray::fromStdString(
        measure::resultsAsCsv(document_.session().shapes(), document_.micrometresPerPixel()));
    const QString path = *target;
    files_.start([this, csv, path] {
        QSaveFile file(path);
        const bool ok =
            file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size() && file.commit();
        const QString error = file.errorString();
        QMetaObject::invokeMethod(
            this,
            [this, ok, path, error] {
                if (ok) {
                    emit fileWritten(path);
                    emit status(
                        QStringLiteral("Results written to %1.").arg(QFileInfo(path).fileName()));
                } else {
                    emit status(QStringLiteral("The results could not be written to %1: %2")
                                    .arg(path, error));
                }
            },
            Qt::QueuedConnection);
    });
}

void MeasurementPanel::saveAnnotated() {
    const std::string picture = document_.picturePath();
    if (picture.empty()) return;
    document_.flush();
    const auto shapes = document_.session().shapes();
    const double scale = document_.micrometresPerPixel();
    const std::string objective = document_.objective();
    files_.start([this, picture, shapes, scale, objective] {
        std::string error;
        const std::optional<std::string> copy =
            saveAnnotatedCopy(picture, shapes, scale, objective, &error);
        QMetaObject::invokeMethod(
            this,
            [this, picture, copy, error] {
                if (copy) {
                    emit fileWritten(QString::fromStdString(*copy));
                    emit status(QStringLiteral("Saved with overlays as %1.").arg(fileName(*copy)));
                } else {
                    emit status(QStringLiteral("%1 could not be saved with overlays: %2")
                                    .arg(fileName(picture), QString::fromStdString(error)));
                }
            },
            Qt::QueuedConnection);
    });
}

void MeasurementPanel::exportPicture() {
    const std::string picture = document_.picturePath();
    if (picture.empty()) return;
    FileDialogRequest request;
    request.filter = QStringLiteral(
        "PNG Files (*.png)|*.png|TIFF Files (*.tif)|*.tif;*.tiff|JPG Files (*.jpg)|*.jpg;*.jpeg||");
    request.defaultExtension = QStringLiteral("png");
    const QFileInfo info(QString::fromStdString(picture));
    request.initialName = info.completeBaseName() + QStringLiteral(".png");
    request.initialFolder = info.absolutePath();
    request.confirmOverwrite = true;
    const std::optional<QString> target = dialogs().saveFile(this, request);
    if (!target || target->isEmpty()) return;
    const std::string to = target->toStdString();
    files_.start([this, picture, to] {
        std::string error;
        const bool ok = qelvo::exportPicture(picture, to, &error);
        QMetaObject::invokeMethod(
            this,
            [this, ok, to, error] {
                if (ok) {
                    emit fileWritten(QString::fromStdString(to));
                    emit status(QStringLiteral("Exported as %1.").arg(fileName(to)));
                } else {
                    emit status(QStringLiteral("The picture could not be exported as %1: %2")
                                    .arg(fileName(to), QString::fromStdString(error)));
                }
            },
            Qt::QueuedConnection);
    });
}

void MeasurementPanel::waitForFiles() {
    files_.waitForDone();
}

}  // namespace qelvo
