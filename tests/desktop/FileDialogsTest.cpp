#include "desktop/Dialogs.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <fstream>
#include <functional>

namespace qelvo {
namespace {

// Plays the operator: each step waits for its kind of modal window (the file dialog or a
// message box over it) and acts on it once.  The next step is polled for before acting, so
// it also runs inside a message box the action opens.
class Operator {
public:
    struct Step {
        bool messageBox;
        std::function<void(QWidget*)> act;
    };
    explicit Operator(std::deque<Step> steps) : steps_(std::move(steps)) {
        started_.start();
        poll();
    }
    bool finished() const { return steps_.empty() && !gaveUp_; }

private:
    void poll() {
        QTimer::singleShot(10, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            const bool isBox = qobject_cast<QMessageBox*>(modal) != nullptr;
            // A window nobody expects (or one that never goes) fails the test instead of
            // hanging it.
            if ((modal && steps_.empty()) || started_.elapsed() > 60000) {
                gaveUp_ = true;
                steps_.clear();
                if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            }
            if (!modal || steps_.empty() || isBox != steps_.front().messageBox ||
                (!isBox && !qobject_cast<QFileDialog*>(modal))) {
                if (!gaveUp_ && (modal || !steps_.empty())) poll();
                return;
            }
            const Step step = steps_.front();
            steps_.pop_front();
            poll();
            step.act(modal);
        });
    }
    std::deque<Step> steps_;
    QElapsedTimer started_;
    bool gaveUp_ = false;
};

void typeAndAccept(QWidget* modal, const QString& text) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    // Typing replaces whatever was picked in the list before.
    for (auto* view : dialog->findChildren<QAbstractItemView*>()) view->clearSelection();
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(text);
    static_cast<QDialog*>(dialog)->accept();
}

TEST(FileDialogs, SaveUsesTheRequestAsItStandsAndRefusesAMissingFolder) {
    const test::TempFolder dir;
    const QString folder = QString::fromStdString(dir.path());
    std::ofstream((folder + "/old.JPG").toStdString()) << "picture";

    FileDialogRequest request;
    request.filter = QStringLiteral("JPG Files (*.JPG)|*.jpg|All Files (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("JPG");
    request.initialName = QStringLiteral("*.jpg");
    request.initialFolder = folder;
    request.pathMustExist = true;
    request.confirmOverwrite = true;

    QString suffix, initialName;
    QStringList boxes;
    auto answerBox = [&](QMessageBox::StandardButton answer) {
        return [&boxes, answer](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            boxes << box->text();
            if (QAbstractButton* button = box->button(answer))
                button->click();
            else
                box->accept();
        };
    };
    Operator person({
        {false,
         [&](QWidget* modal) {
             auto* dialog = qobject_cast<QFileDialog*>(modal);
             suffix = dialog->defaultSuffix();
             initialName = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
             static_cast<QDialog*>(dialog)->accept();  // the wildcard name only filters
         }},
        {false, [&](QWidget* modal) { typeAndAccept(modal, folder + "/missing/pic"); }},
        {true, answerBox(QMessageBox::Ok)},
        {false, [&](QWidget* modal) { typeAndAccept(modal, QStringLiteral("old")); }},
        {true, answerBox(QMessageBox::No)},
        {false, [&](QWidget* modal) { typeAndAccept(modal, QStringLiteral("new")); }},
    });
    const std::optional<QString> chosen = dialogs().saveFile(nullptr, request);
    EXPECT_TRUE(person.finished());
    EXPECT_EQ(chosen, folder + "/new.JPG") << "the default extension as it stands";
    EXPECT_EQ(suffix, "JPG");
    EXPECT_EQ(initialName, "*.jpg");
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_TRUE(boxes[0].contains("Path does not exist")) << boxes[0].toStdString();
    EXPECT_TRUE(boxes[1].contains("already exists")) << boxes[1].toStdString();
}

}  // namespace
}  // namespace qelvo
