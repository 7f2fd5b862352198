#include "measureui/ObjectiveListDialog.h"

#include "measure/Length.h"
#include "measureui/MeasureDialogStyle.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qelvo {
namespace {

QString sizeText(const measure::Objective& o) {
    if (!o.calibrated()) return QStringLiteral("not calibrated");
    return QStringLiteral("%1/px at %2 × %3")
        .arg(QString::fromStdString(measure::formatLength(o.micrometresPerPixel, 4)))
        .arg(o.atWidth)
        .arg(o.atHeight);
}

}  // namespace

ObjectiveListDialog::ObjectiveListDialog(const measure::DeviceObjectives& objectives,
                                         const QString& problem, QWidget* parent)
    : QDialog(parent), objectives_(objectives) {
    setWindowTitle(QStringLiteral("Objectives"));
    setStyleSheet(measureDialogStyleSheet());
    resize(520, 380);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    auto* title =
        new QLabel(QStringLiteral("OBJECTIVES  ·  keys 1-9 choose them in this order"), this);
    title->setProperty("role", "title");
    layout->addWidget(title);
    table_ = new QTableWidget(this);
    table_->setColumnCount(2);
    table_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Pixel size")});
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(table_, 1);
    note_ = new QLabel(problem, this);
    note_->setProperty("role", "warning");
    note_->setWordWrap(true);
    note_->setVisible(!problem.isEmpty());
    layout->addWidget(note_);

    auto* row = new QHBoxLayout;
    const auto button = [&](const QString& text, auto action) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, action);
        row->addWidget(b);
        return b;
    };
    button(QStringLiteral("Add"), [this] { addObjective(); });
    button(QStringLiteral("Remove"), [this] { removeSelected(); });
    button(QStringLiteral("Up"), [this] { moveSelected(-1); });
    button(QStringLiteral("Down"), [this] { moveSelected(1); });
    button(QStringLiteral("Forget calibration"), [this] { forgetSelected(); });
    layout->addLayout(row);
    auto* end = new QHBoxLayout;
    end->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAutoDefault(false);
    end->addWidget(ok);
    end->addWidget(cancel);
    layout->addLayout(end);
    connect(ok, &QPushButton::clicked, this, [this] {
        const QString why = fault();
        if (why.isEmpty()) {
            accept();
            return;
        }
        note_->setText(why);
        note_->show();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    fill();
}

void ObjectiveListDialog::fill() {
    table_->setRowCount(static_cast<int>(objectives_.objectives.size()));
    for (int i = 0; i < table_->rowCount(); ++i) {
        const measure::Objective& o = objectives_.objectives[i];
        table_->setItem(i, 0, new QTableWidgetItem(QString::fromStdString(o.name)));
        auto* size = new QTableWidgetItem(sizeText(o));
        size->setFlags(size->flags() & ~Qt::ItemIsEditable);
        table_->setItem(i, 1, size);
    }
}

// Takes the names typed so far into the list before it is changed.
void ObjectiveListDialog::refresh() {
    for (int i = 0; i < table_->rowCount() && i < static_cast<int>(objectives_.objectives.size());
         ++i)
        if (QTableWidgetItem* item = table_->item(i, 0))
            objectives_.objectives[i].name = item->text().trimmed().toStdString();
}

measure::DeviceObjectives ObjectiveListDialog::edited() const {
    measure::DeviceObjectives out = objectives_;
    for (int i = 0; i < table_->rowCount() && i < static_cast<int>(out.objectives.size()); ++i)
        if (QTableWidgetItem* item = table_->item(i, 0))
            out.objectives[i].name = item->text().trimmed().toStdString();
    return out;
}

QString ObjectiveListDialog::fault() const {
    const measure::DeviceObjectives list = edited();
    if (list.objectives.empty()) return QStringLiteral("Keep at least one objective.");
    QSet<QString> seen;
    for (const measure::Objective& o : list.objectives) {
        const QString name = QString::fromStdString(o.name);
        if (name.isEmpty()) return QStringLiteral("Every objective needs a name.");
        if (name.contains(QLatin1Char('\n')) || name.size() > 40)
            return QStringLiteral("A name is one line of at most 40 characters.");
        if (seen.contains(name.toCaseFolded()))
            return QStringLiteral("Two objectives are called \"%1\".").arg(name);
        seen.insert(name.toCaseFolded());
    }
    return {};
}

void ObjectiveListDialog::addObjective() {
    refresh();
    measure::Objective o;
    o.name = "new";
    objectives_.objectives.push_back(o);
    fill();
    table_->setCurrentCell(table_->rowCount() - 1, 0);
    table_->editItem(table_->item(table_->rowCount() - 1, 0));
}

void ObjectiveListDialog::removeSelected() {
    const int row = table_->currentRow();
    if (row < 0 || objectives_.objectives.size() <= 1) return;
    refresh();
    objectives_.objectives.erase(objectives_.objectives.begin() + row);
    if (objectives_.active == row)
        objectives_.active = 0;
    else if (objectives_.active > row)
        --objectives_.active;
    fill();
}

void ObjectiveListDialog::forgetSelected() {
    const int row = table_->currentRow();
    if (row < 0) return;
    refresh();
    measure::Objective& o = objectives_.objectives[row];
    o.micrometresPerPixel = 0.0;
    o.atWidth = o.atHeight = 0;
    fill();
    table_->setCurrentCell(row, 0);
}

void ObjectiveListDialog::moveSelected(int by) {
    const int row = table_->currentRow();
    const int to = row + by;
    const int count = static_cast<int>(objectives_.objectives.size());
    if (row < 0 || to < 0 || to >= count) return;
    refresh();
    std::swap(objectives_.objectives[row], objectives_.objectives[to]);
    // The active objective stays the same objective.
    if (objectives_.active == row)
        objectives_.active = to;
    else if (objectives_.active == to)
        objectives_.active = row;
    fill();
    table_->setCurrentCell(to, 0);
}

void ObjectiveListDialog::paintEvent(QPaintEvent*) {
    paintMeasureDialogBackground(*this);
}

}  // namespace qelvo
