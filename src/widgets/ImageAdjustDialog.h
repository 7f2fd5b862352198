#pragma once

#include <QDialog>
#include <QRect>
#include <QString>

#include <string>

#include "imaging/ImageAdjustment.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace qelvo {

class LevelBars;
class PictureWell;
class ReleaseSlider;

// The image adjustment dialog: one tone or colour adjustment of a stored picture, with the
// picture before and after, a value slider and a value box; the histogram kind also shows a
// channel selector, the adjusted picture's levels and a colour index. OK offers to save the
// adjusted picture over its file; Cancel and Escape save nothing.
class ImageAdjustDialog : public QDialog {
    Q_OBJECT
public:
    struct Request {
        int kind = ImageAdjustment::Brightness;
        QString title;
        int minimum = -255;
        int maximum = 255;
        int initialValue = 0;
        std::string path;
    };

    static constexpr int kOkId = 1;
    static constexpr int kCancelId = 2;
    static constexpr int kSliderId = 1300;
    static constexpr int kOriginalId = 1301;
    static constexpr int kColourIndexId = 1302;
    static constexpr int kValueBoxId = 1303;
    static constexpr int kAdjustedId = 1304;
    static constexpr int kChannelId = 1305;
    static constexpr int kHistogramId = 1306;
    // The non-histogram kinds leave out the rows below the two pictures (channel,
    // histogram and colour index): their client area ends the template's 7-unit margin
    // below the pictures, in dialog units.
    static constexpr int kShortTemplateHeight = 44 + 106 + 7;

    explicit ImageAdjustDialog(const Request& request, QWidget* parent = nullptr);
    ~ImageAdjustDialog() override;

    int value() const { return value_; }
    const ImageAdjustment& adjustment() const { return adjustment_; }

    // The two steps, as the slider's release and the value box's edits run them.
    void sliderStep();
    void valueBoxStep();

    // OK: asks whether to save, saves on Yes, then closes.
    void accept() override;

    // A template rectangle in dialog units, in pixels.
    static QRect fromDialogUnits(int x, int y, int width, int height);

private:
    void writeValueBox(int value);
    void redraw();
    ImageAdjustment::Channel channel() const;

    Request request_;
    ImageAdjustment adjustment_;
    int value_ = 0;
    // Set while the dialog writes its own value box and slider, whose change notices then
    // run no step.
    bool writing_ = false;

    QPushButton* ok_;
    QPushButton* cancel_;
    ReleaseSlider* slider_;
    QLineEdit* valueBox_;
    PictureWell* original_;
    PictureWell* adjusted_;
    QComboBox* channelBox_;
    LevelBars* histogram_;
    LevelBars* colourIndex_;
};

}  // namespace qelvo
