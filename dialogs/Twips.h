#pragma once

#include <QRect>
#include <QSize>
#include <QtMath>

// Window layouts are drawn in twips; at 96 dots per inch 15 twips are one pixel.
inline int twipsToPixels(int twips)
{
    return qRound(twips / 15.0);
}

inline QRect twips(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

inline QSize twipsSize(int width, int height)
{
    return QSize(twipsToPixels(width), twipsToPixels(height));
}
