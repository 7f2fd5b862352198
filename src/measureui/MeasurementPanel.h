#pragma once

#include "measure/Measurements.h"

#include <QThreadPool>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QTableWidget;
class QToolButton;

namespace qelvo {

class MeasurementDocument;
class MeasurementTool;

// The measuring controls beside a picture: the drawing tools, undo, redo and delete, the
// results list (one row per shape; selecting a row selects the shape), Copy and CSV, and
// the picture's file commands: a copy with the measurements drawn in and an export as
// PNG, TIFF or JPEG.  It lays itself out in the rectangle it is given (a column beside
// the picture; the narrower the column, the more rows the tools take).
class MeasurementPanel : public QWidget {
    Q_OBJECT
public:
    MeasurementPanel(MeasurementDocument& document, MeasurementTool& tool, QWidget* parent);

    // The drawing tool buttons: nothing = select and move.
    void chooseKind(std::optional<measure::ShapeKind> kind);

    // Commands, as the buttons run them.
    void undo();
    void redo();
    void deleteSelected();
    void copyResults();
    void exportCsv();
    void saveAnnotated();
    void exportPicture();

    // Waits until the file commands under way are done (tests, closing).
    void waitForFiles();

    QTableWidget* resultsTable() const { return table_; }
    QAbstractButton* button(const QString& objectName) const;

signals:
    // A file was written beside the pictures (the strip may list it).
    void fileWritten(const QString& path);
    // One line for the operator: what a command did or why it failed.
    void status(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void rowSelected();

    MeasurementDocument& document_;
    MeasurementTool& tool_;
    QTableWidget* table_ = nullptr;
    std::vector<QToolButton*> kindButtons_;
    QAbstractButton* undo_ = nullptr;
    QAbstractButton* redo_ = nullptr;
    QAbstractButton* delete_ = nullptr;
    QThreadPool files_;
    bool refreshing_ = false;
};

}  // namespace qelvo
