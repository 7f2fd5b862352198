#pragma once

#include <QDialog>
#include <QImage>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qelvo {

class ActiveObjectives;
class CalibrationCanvas;
class CalibrationFlow;

// Calibrating an objective from a picture (the live frame or the picture shown), in capture
// pixels.  Automatic: the ruling of a stage micrometer or graticule is looked for off the GUI
// thread and drawn over the picture when found; the operator types its spacing.  Manual: the
// operator draws a line over a known length (zoom with the wheel, loupe while drawing) and
// types that length.  Store keeps the pixel size for the chosen objective at the picture's
// resolution.
class CalibrationDialog : public QDialog {
    Q_OBJECT
public:
    CalibrationDialog(ActiveObjectives& objectives, const QImage& picture,
                      QWidget* parent = nullptr);
    ~CalibrationDialog() override;

    CalibrationFlow& flow() { return *flow_; }
    CalibrationCanvas& canvas() { return *canvas_; }
    QLineEdit& spacingEdit() { return *spacing_; }
    QLineEdit& lengthEdit() { return *length_; }
    QComboBox& objectiveList() { return *objective_; }
    QPushButton& storeButton() { return *store_; }
    QLabel& statusLabel() { return *status_; }
    void setManual(bool manual);

    // Stores the result for the chosen objective; false (and nothing stored) while there is
    // none or the store refused it, with the status saying why.
    bool store();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    ActiveObjectives& objectives_;
    CalibrationFlow* flow_;
    CalibrationCanvas* canvas_;
    QComboBox* objective_;
    QPushButton* automatic_;
    QPushButton* manual_;
    QWidget* automaticPage_;
    QWidget* manualPage_;
    QLineEdit* spacing_;
    QLineEdit* length_;
    QLabel* status_;
    QLabel* result_;
    QPushButton* store_;
};

}  // namespace qelvo
