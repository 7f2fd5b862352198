#pragma once

#include "measureui/MeasurementTool.h"
#include "measureui/PictureMapping.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace qelvo {

class MeasurementDocument;

// A see-through layer over a picture panel that draws measurements, and the shape under
// way, where the panel shows the picture.  It takes no pointer input: the window passes the
// panel's events to the tool (see MeasurementTool).
class MeasurementLayer : public QWidget {
    Q_OBJECT
public:
    using MappingSource = std::function<std::optional<PictureMapping>()>;
    // What the layer draws; `shapes` null draws nothing.
    struct Content {
        const std::vector<measure::Shape>* shapes = nullptr;
        double micrometresPerPixel = 0.0;
        int selected = -1;
        const measure::Shape* pending = nullptr;
    };
    using ContentSource = std::function<Content()>;

    // The document's measurements and the tool's shape under way.
    MeasurementLayer(MeasurementDocument& document, MeasurementTool& tool, MappingSource mapping,
                     QWidget* panel);
    MeasurementLayer(ContentSource content, MappingSource mapping, QWidget* panel);

    // Where the picture lies on the panel now; nothing while it shows no picture.
    std::optional<PictureMapping> mapping() const { return mapping_(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ContentSource content_;
    MappingSource mapping_;
};

}  // namespace qelvo
