#pragma once

#include <QDialog>

namespace qelvo {

// The About box: the program icon, its name and version, and OK.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 100;
    explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace qelvo
