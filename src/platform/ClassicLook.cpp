#include "platform/ClassicLook.h"

#include <QApplication>
#include <QFontDatabase>

// The artwork is compiled into the static core library, where the linker drops
// the resource object unless something refers to it: register it explicitly.
// Q_INIT_RESOURCE must be called outside any namespace.
static void registerArtwork()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)registered;
}

namespace classiclook {

void loadResources()
{
    registerArtwork();
}

QFont dialogFont()
{
    static const QStringList preferred
        = { QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans") };
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
    loadResources();
    return QIcon(QStringLiteral(":/icons/ferox.png"));
}

void apply(QApplication &app)
{
    loadResources();
    app.setFont(dialogFont());
    app.setWindowIcon(windowIcon());
}

} // namespace classiclook
