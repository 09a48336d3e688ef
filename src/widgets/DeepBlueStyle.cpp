#include "widgets/DeepBlueStyle.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

// Resources of a static library are only linked in when referenced.
static void initWidgetResources()
{
    Q_INIT_RESOURCE(widgets);
}

namespace vexo
{

QString DeepBlueStyle::resourcePath()
{
    return QStringLiteral(":/vexo/deepblue.qss");
}

QString DeepBlueStyle::styleSheet()
{
    initWidgetResources();
    QFile file(resourcePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void DeepBlueStyle::apply(QApplication &app)
{
    // Without a desktop (a bare X server, the offscreen platform) Qt knows no
    // icon theme and file lists would show no file-type icons.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")) {
        QStringList paths = QIcon::themeSearchPaths();
        const QString dataDirs =
            qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
        for (const QString &dir : dataDirs.split(u':', Qt::SkipEmptyParts)) {
            if (!paths.contains(dir + QStringLiteral("/icons")))
                paths << dir + QStringLiteral("/icons");
        }
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    }
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QPalette palette = QApplication::style()->standardPalette();
    const QColor window(0xee, 0xf2, 0xf8);
    const QColor text(0x10, 0x18, 0x20);
    const QColor highlight(0x2f, 0x63, 0xb3);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Button, QColor(0xe3, 0xea, 0xf5));
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::Highlight, highlight);
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ToolTipBase, QColor(0xff, 0xfb, 0xe6));
        palette.setColor(group, QPalette::ToolTipText, QColor(0x1a, 0x1a, 0x1a));
    }
    QApplication::setPalette(palette);
    app.setStyleSheet(styleSheet());
}

} // namespace vexo
