#include "desktop/Screens.h"

#include <QGuiApplication>
#include <QScreen>

namespace qelvo {

std::vector<QRect> displayDevices() {
    std::vector<QRect> areas;
    for (QScreen* screen : QGuiApplication::screens()) areas.push_back(screen->geometry());
    if (areas.empty()) areas.emplace_back(0, 0, 1024, 768);
    return areas;
}

}  // namespace qelvo
