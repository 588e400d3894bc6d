#include "shell/Screens.h"

#include <QGuiApplication>
#include <QScreen>

QScreen* NearestScreen(const QRect& rect)
{
    QScreen* best = nullptr;
    long long bestArea = -1;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect overlap = screen->geometry().intersected(rect);
        const long long area = overlap.isEmpty() ? 0 : 1LL * overlap.width() * overlap.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (bestArea <= 0) {
        long long bestDistance = -1;
        for (QScreen* screen : QGuiApplication::screens()) {
            const QPoint d = screen->geometry().center() - rect.center();
            const long long distance = 1LL * d.x() * d.x() + 1LL * d.y() * d.y();
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = screen;
            }
        }
    }
    return best != nullptr ? best : QGuiApplication::primaryScreen();
}
