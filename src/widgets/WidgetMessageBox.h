#pragma once

#include "base/MessageSeam.h"

class QMessageBox;

// Real modal message boxes with the Japanese system's button texts.
void installWidgetMessageBoxes();
MessageSeam::Answer execWidgetMessageBox(const MessageSeam::Box &box);
