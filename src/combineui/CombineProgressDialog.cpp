#include "combineui/CombineProgressDialog.h"

#include "skin/SkinPalette.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace qelvo {

CombineProgressDialog::CombineProgressDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("combine progress"));
    setWindowModality(Qt::WindowModal);
    setStyleSheet(
        palette::controlStyleSheet() +
        QStringLiteral("QDialog { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                       "stop:0 #2a2f37, stop:1 #14171b); }"
                       "QLabel { color: #e2e7ee; }"
                       "QLabel#title { color: #8b95a3; font: bold 11px 'Liberation Sans Narrow';"
                       " letter-spacing: 1px; }"
                       "QLabel#stage { color: #34c6da; font-weight: bold; }"
                       "QProgressBar { background: #080a0c; border: 1px solid #4a5360;"
                       " border-radius: 3px; color: #e2e7ee; text-align: center; height: 16px; }"
                       "QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                       " stop:0 #34c6da, stop:1 #1b7f8e); border-radius: 2px; }"
                       "QPushButton { background: #080a0c; color: #e2e7ee; border: 1px "
                       "solid #4a5360; border-radius: 3px; padding: 4px 14px; }"
                       "QPushButton:hover { border-color: #34c6da; }"
                       "QPushButton:disabled { color: #4d5662; }"));
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("title"));
    stage_ = new QLabel(this);
    stage_->setObjectName(QStringLiteral("stage"));
    stage_->setMinimumWidth(300);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 1000);
    bar_->setFormat(QStringLiteral("%p%"));
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        cancelling();
        emit cancelRequested();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addWidget(stage_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
}

void CombineProgressDialog::begin(const QString& name, int pictures) {
    setWindowTitle(name);
    title_->setText(name.toUpper() + QStringLiteral("  ·  %1 PICTURES").arg(pictures));
    stage_->setText(QStringLiteral("Starting…"));
    bar_->setValue(0);
    cancel_->setEnabled(true);
}

void CombineProgressDialog::setProgress(double fraction, const QString& stage) {
    bar_->setValue(static_cast<int>(std::lround(fraction * 1000)));
    if (!stage.isEmpty()) stage_->setText(stage);
}

void CombineProgressDialog::cancelling() {
    cancel_->setEnabled(false);
    stage_->setText(QStringLiteral("Cancelling…"));
}

QString CombineProgressDialog::stageText() const {
    return stage_->text();
}

void CombineProgressDialog::reject() {
    // Closing the dialog stops the job; the dialog goes when the job has ended.
    if (cancel_->isEnabled()) {
        cancelling();
        emit cancelRequested();
    }
}

}  // namespace qelvo
