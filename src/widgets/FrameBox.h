#pragma once

#include <QGroupBox>

// A frame whose caption sits on its top border, the border passing through the caption's middle,
// so the controls placed below the caption's top stay inside the frame.
class FrameBox : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *event) override;
};
