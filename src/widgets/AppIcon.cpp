#include "widgets/AppIcon.h"

#include <QDir>

QIcon appIcon() {
    // One drawing per size, as the build bundles them: tray and window take the nearest, sharp
    // at any scale.
    static const QIcon icon = [] {
        QIcon i;
        const QDir icons(QStringLiteral(":/icons"));
        for (const QString &name : icons.entryList({QStringLiteral("pirune-*.png")}))
            i.addFile(icons.filePath(name));
        return i;
    }();
    return icon;
}

QFont appFont() {
    QFont f;
    f.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                   QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"),
                   QStringLiteral("Noto Sans CJK JP")});
    f.setPointSizeF(9);
    return f;
}
