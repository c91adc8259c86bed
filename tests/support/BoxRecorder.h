#pragma once

#include "app/MessageSeam.h"

#include <QList>
#include <QStringList>

// Answers every message box in place of the user and remembers what was shown.
class BoxRecorder
{
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder &) = delete;
    BoxRecorder &operator=(const BoxRecorder &) = delete;

    QList<MessageSeam::Box> boxes;
    QList<MessageSeam::Answer> answers; // taken in order; when empty, the box's default answer
    std::function<void()> whileOpen = [] {}; // what the user does while a box waits

    QStringList texts() const;
    void clear() { boxes.clear(); }

private:
    MessageSeam::Handler m_previous;
};
