#pragma once

#include "base/MessageSeam.h"

class QWidget;

// Real modal message boxes with the Japanese system's button texts. With an owner a box blocks
// only that window: the tray icon, its menu and the message windows still answer.
void installWidgetMessageBoxes(QWidget *owner = nullptr);
MessageSeam::Answer execWidgetMessageBox(const MessageSeam::Box &box);
