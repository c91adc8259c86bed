#include "BoxRecorder.h"

BoxRecorder::BoxRecorder()
{
    m_previous = MessageSeam::setHandler([this](const MessageSeam::Box &box) {
        boxes.append(box);
        whileOpen();
        return answers.isEmpty() ? box.defaultAnswer : answers.takeFirst();
    });
}

BoxRecorder::~BoxRecorder() { MessageSeam::setHandler(std::move(m_previous)); }

QStringList BoxRecorder::texts() const
{
    QStringList out;
    for (const auto &b : boxes)
        out << b.text;
    return out;
}
