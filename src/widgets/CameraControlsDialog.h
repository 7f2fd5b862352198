#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

class QGridLayout;
class QPushButton;

namespace qelvo {

class CameraControls;
struct CameraControl;

// A camera's controls, one row each under its class heading: a slider with a number box for
// an integer, a check box for a switch, a drop-down list for a menu, a push button for an
// action.  Every change goes to the device at once and all rows then show what the device
// reports, so a manual control greys out while its automatic mode is on.  "Defaults" puts
// every control back to the driver's default.
class CameraControlsDialog : public QDialog {
public:
    CameraControlsDialog(QWidget* owner, CameraControls& controls, const QString& deviceName);

private:
    struct Row {
        std::uint32_t id;
        std::vector<QWidget*> widgets;
        std::function<void(const CameraControl&)> show;  // puts the value into the widgets
    };

    QWidget* buildGroups();
    void addRow(QGridLayout* grid, int line, const CameraControl& control);
    void change(std::uint32_t id, std::int64_t value);
    void resetToDefaults();
    void reportFailure(std::uint32_t id, const std::string& error);
    // Puts every control's value and state into its row without sending anything back.
    void showValues();

    CameraControls& controls_;
    std::vector<Row> rows_;
    std::set<std::uint32_t> reported_;  // controls whose failure was already shown
    bool goneReported_ = false;         // the camera's unplugging was already shown
    QPushButton* defaults_ = nullptr;
    bool updating_ = false;
};

}  // namespace qelvo
