#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace qelvo {

// How far a combining job is: its name, the stage it is at, a bar and Cancel, in the skin's
// colours.  Window-modal over the window that started the job, which keeps answering (and
// painting) meanwhile; closing it is the same as Cancel.
class CombineProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit CombineProgressDialog(QWidget* parent = nullptr);

    // A new job of `pictures` pictures.
    void begin(const QString& name, int pictures);
    void setProgress(double fraction, const QString& stage);
    // Cancel was asked for: the job finishes its step, then stops.
    void cancelling();

    QPushButton* cancelButton() const { return cancel_; }
    QProgressBar* bar() const { return bar_; }
    QString stageText() const;

signals:
    void cancelRequested();

protected:
    void reject() override;

private:
    QLabel* title_;
    QLabel* stage_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

}  // namespace qelvo
