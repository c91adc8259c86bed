#pragma once

#include <QFont>
#include <QIcon>

QIcon appIcon();
// The Japanese system's default dialog face, or its nearest equivalent here.
QFont appFont();
