#include "measureui/SkinCaption.h"

#include "skin/SkinPalette.h"

#include <QFont>
#include <QPainter>

namespace qelvo {

void paintSkinCaption(QPainter& painter, QPoint topLeft, const QString& text) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(topLeft.x(), topLeft.y() + 2, 3, 10), QColor(palette::kAccent));
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    font.setBold(true);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    painter.setFont(font);
    painter.setPen(QColor(palette::kTextDim));
    painter.drawText(QRect(topLeft.x() + 7, topLeft.y(), 600, 14), Qt::AlignLeft | Qt::AlignVCenter,
                     text);
    painter.restore();
}

}  // namespace qelvo
