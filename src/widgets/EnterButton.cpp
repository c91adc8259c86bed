#include "widgets/EnterButton.h"

#include <QKeyEvent>

void EnterButton::keyPressEvent(QKeyEvent *event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || autoDefault() || isDefault() ||
        (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QPushButton::keyPressEvent(event);
        return;
    }
    // A held key presses once: a repeated 追加 would add the notice again and again.
    if (!event->isAutoRepeat())
        click();
}
