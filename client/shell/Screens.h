#pragma once
#include <QRect>

class QScreen;

// The screen nearest to a rectangle: the one it overlaps most, else the closest centre.
QScreen* NearestScreen(const QRect& rect);
