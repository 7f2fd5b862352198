#pragma once

#include <QPoint>
#include <QString>

class QPainter;

namespace qelvo {

// A caption over a group of controls as the skin's backgrounds draw theirs: an accent tick
// and dim, spaced capitals, 11 pixels high, the text's top left at `topLeft`.
void paintSkinCaption(QPainter& painter, QPoint topLeft, const QString& text);

}  // namespace qelvo
