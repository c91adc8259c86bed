#include "app/AppIcon.h"

QIcon appIcon()
{
    static const QIcon icon(QStringLiteral(":/pirune.png"));
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
