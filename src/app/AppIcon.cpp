#include "app/AppIcon.h"

QIcon appIcon()
{
    // One drawing per size: tray and window take the nearest, sharp at any scale.
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            i.addFile(QStringLiteral(":/icons/pirune-%1.png").arg(size), QSize(size, size));
        return i;
    }();
    return icon;
}

QFont appFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("MS UI Gothic"),
                   QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    f.setPointSizeF(9);
    return f;
}
