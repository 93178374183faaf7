#include "platform/ClassicLook.h"

#include <QApplication>
#include <QFontDatabase>

namespace classiclook {

QFont dialogFont()
{
    static const QStringList preferred = {QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                                          QStringLiteral("DejaVu Sans")};
    const QStringList families = QFontDatabase::families();
    for (const QString &family : preferred) {
        if (families.contains(family, Qt::CaseInsensitive)) {
            QFont font(family);
            font.setPointSizeF(8.25);
            return font;
        }
    }
    QFont font = QApplication::font();
    font.setPointSizeF(8.25);
    return font;
}

QIcon windowIcon()
{
    return QIcon(QStringLiteral(":/icons/ferox.png"));
}

void apply(QApplication &app)
{
    app.setFont(dialogFont());
    app.setWindowIcon(windowIcon());
}

} // namespace classiclook
