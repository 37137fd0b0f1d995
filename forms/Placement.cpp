#include "forms/Placement.h"

#include <QFrame>
#include <QPainter>

namespace {

// A horizontal line frame, so layouts give it the room of one, painted in
// fixed colours: the style's shades would pale it inside a disabled group
// and stop its white line a pixel short.
class EtchedLine final : public QFrame {
public:
    explicit EtchedLine(QWidget *parent) : QFrame(parent)
    {
        setFrameShape(QFrame::HLine);
        setFrameShadow(QFrame::Sunken);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(0, 0, width(), 2, Qt::white);
        painter.fillRect(0, 0, width(), 1, QColor(128, 128, 128));
    }
};

} // namespace

QFrame *etchedLine(QWidget *parent)
{
    return new EtchedLine(parent);
}

void shrinkToFit(QWidget *control)
{
    QFont font = control->font();
    while (font.pixelSize() > 8 && control->sizeHint().width() > control->width()) {
        font.setPixelSize(font.pixelSize() - 1);
        control->setFont(font);
    }
}
