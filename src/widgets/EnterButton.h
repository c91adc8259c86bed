#pragma once

#include <QPushButton>

// A push button that Enter presses while it has the focus, as on Windows and in GTK programs. Qt
// gives Enter only to default and auto-default buttons, and making these buttons such would change
// which button is the window's default.
class EnterButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
