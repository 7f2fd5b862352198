#pragma once

#include "measure/Objectives.h"

#include <QDialog>

class QLabel;
class QTableWidget;

namespace qelvo {

// Editing a device's list of objectives: rename, add, remove (at least one stays), forget a
// calibration, and move objectives up and down (their place is their key, 1-9).  OK hands
// back the edited list; names must be set and differ.
class ObjectiveListDialog : public QDialog {
    Q_OBJECT
public:
    ObjectiveListDialog(const measure::DeviceObjectives& objectives, const QString& problem,
                        QWidget* parent = nullptr);

    // The list as edited (names as typed, trimmed).
    measure::DeviceObjectives edited() const;
    // Why the list cannot be kept ("" when it can).
    QString fault() const;
    QTableWidget& table() { return *table_; }

    void addObjective();
    void removeSelected();
    void forgetSelected();
    void moveSelected(int by);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fill();
    void refresh();

    measure::DeviceObjectives objectives_;
    QTableWidget* table_;
    QLabel* note_;
};

}  // namespace qelvo
