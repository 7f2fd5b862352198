#pragma once

#include "measureui/MeasurementTool.h"
#include "measureui/PictureMapping.h"

#include <QWidget>

#include <functional>
#include <optional>

namespace qelvo {

class MeasurementDocument;

// A see-through layer over a picture panel that draws the document's measurements, and
// the shape under way, where the panel shows the picture.  It takes no pointer input: the
// window passes the panel's events to the tool (see MeasurementTool).
class MeasurementLayer : public QWidget {
    Q_OBJECT
public:
    using MappingSource = std::function<std::optional<PictureMapping>()>;

    MeasurementLayer(MeasurementDocument& document, MeasurementTool& tool, MappingSource mapping,
                     QWidget* panel);

    // Where the picture lies on the panel now; nothing while it shows no picture.
    std::optional<PictureMapping> mapping() const { return mapping_(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MeasurementDocument& document_;
    MeasurementTool& tool_;
    MappingSource mapping_;
};

}  // namespace qelvo
