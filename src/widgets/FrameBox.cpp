#include "widgets/FrameBox.h"

#include <QPainter>

void FrameBox::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const QFontMetrics fm(font());
    const QRect border = rect().adjusted(0, fm.height() / 2, -2, -2);
    // Etched, as a window frame's group box: a dark line with a light one beside it.
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(border);
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(border.translated(1, 1));
    const QRect caption(8, 0, fm.horizontalAdvance(title()) + 4, fm.height());
    p.fillRect(caption, palette().color(QPalette::Window));
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
}
