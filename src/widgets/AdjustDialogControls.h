#pragma once

#include <QSlider>
#include <QWidget>

#include <functional>

namespace qelvo {

class CxImage;
class ImageAdjustment;

// "Org Image" / "After Image": a picture drawn over the whole control by the picture
// type's nearest-sample drawing (nothing but the background when the picture is empty).
class PictureWell : public QWidget {
public:
    explicit PictureWell(QWidget* parent = nullptr);
    void setPicture(const CxImage* picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CxImage* picture_ = nullptr;
};

// "Histogram" and "COLOR INDEX": 256 bars in the colours of the selected channel. The
// histogram's bars are the adjusted picture's level counts of that channel, scaled so that
// its tallest bar fills the control's height; the colour index bars all fill it.
class LevelBars : public QWidget {
public:
    enum Mode { HistogramBars, ColourIndex };
    LevelBars(Mode mode, const ImageAdjustment& adjustment, QWidget* parent = nullptr);
    void setChannel(int channel);
    int channel() const { return channel_; }

    // The colour of bar i of a channel (0 master, 1 red, 2 green, 3 blue).
    static QColor barColour(int channel, int i);
    // Top of a histogram bar of `count` in a control spanning top..bottom.
    static int barTop(long count, long largest, int top, int bottom);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Mode mode_;
    const ImageAdjustment& adjustment_;
    int channel_ = 0;
};

// The value slider. Its value is applied when the pointer lets go of it (after a click or
// a drag), never while keys move the thumb.
class ReleaseSlider : public QSlider {
public:
    explicit ReleaseSlider(QWidget* parent = nullptr);
    std::function<void()> onPointerReleased;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace qelvo
