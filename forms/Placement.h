#pragma once

#include <QAnyStringView>
#include <QRect>
#include <QWidget>

#include <algorithm>

class QFrame;

// Layouts are given in twips; at 96 dots per inch 15 twips are one
// device-independent pixel, which Qt scales with the screen.
inline int twipsToPixels(int twips)
{
    return (twips + 7) / 15;
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

// Every control carries its control's name as objectName, so handlers,
// tests and tools find it by that name. A control a layout arranges is
// only named.
template <typename W>
W *named(W *widget, QAnyStringView name)
{
    widget->setObjectName(name);
    return widget;
}

// Names a control and puts it where the layout drew it.
template <typename W>
W *place(W *widget, QAnyStringView name, QRect where)
{
    named(widget, name)->setGeometry(where);
    return widget;
}

// Names and places a one-line control that keeps its place and width but
// grows, centred on its row, when the font needs more height than the
// layout gives it (CJK fonts have tall lines), so no text is cut.
template <typename W>
W *placeLine(W *widget, QAnyStringView name, QRect where)
{
    const int height = std::max(where.height(), widget->sizeHint().height());
    where.setTop(where.center().y() - (height - 1) / 2);
    where.setHeight(height);
    return place(widget, name, where);
}

// An etched separator: a grey line (128, 128, 128) over a white one, two
// pixels high across the control, whether its window is enabled or not.
QFrame *etchedLine(QWidget *parent = nullptr);

// A one-line caption too long for its control at the window's font gets a
// slightly smaller font instead of being cut or touching the edges.
void shrinkToFit(QWidget *control);
