#include "widgets/ToolbarArtwork.h"

#include "widgets/ArtworkDrawing.h"
#include "widgets/PaintedIconEngine.h"

#include <QImage>
#include <QPixmap>

namespace vexo
{

namespace
{

using Drawing = void (*)(QPainter &);

const Drawing kToolbarDrawings[ToolbarArtwork::ImageCount] = {
    artwork::drawSetup,          artwork::drawFormat,  artwork::drawDelete,
    artwork::drawCopy,           artwork::drawPaste,   artwork::drawLargeIcons,
    artwork::drawSmallIcons,     artwork::drawList,    artwork::drawDetails,
    artwork::drawPalmtopConnect, artwork::drawRefresh, artwork::drawExit,
    artwork::drawImageConnect,   artwork::drawSync};

const Drawing kHeaderDrawings[ToolbarArtwork::HeaderImageCount] = {artwork::drawFolderUp,
                                                                   artwork::drawNewFolder};

const char *const kToolbarKeys[ToolbarArtwork::ImageCount] = {
    "setup", "format",  "delete",          "copy",    "paste", "large-icons",   "small-icons",
    "list",  "details", "palmtop-connect", "refresh", "exit",  "image-connect", "sync"};

const char *const kHeaderKeys[ToolbarArtwork::HeaderImageCount] = {"folder-up", "folder-new"};

QIcon painted(const char *key, Drawing drawing)
{
    return QIcon(new PaintedIconEngine(QStringLiteral("vexo-") + QLatin1String(key), drawing));
}

// Symbolic theme icons are dark grey line art meant to be recoloured to the
// text colour; on our dark toolbar they must be lightened.
bool isDarkMonochrome(const QImage &image)
{
    qint64 lightness = 0;
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 64)
                continue;
            if (c.hsvSaturation() > 40)
                return false;
            lightness += c.lightness();
            ++opaque;
        }
    }
    return opaque > 0 && lightness / opaque < 110;
}

QPixmap lightened(const QPixmap &source)
{
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    const QColor light(0xee, 0xf3, 0xfb);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgba(light.red(), light.green(), light.blue(), qAlpha(line[x]));
    }
    QPixmap result = QPixmap::fromImage(image);
    result.setDevicePixelRatio(source.devicePixelRatio());
    return result;
}

} // namespace

QStringList ToolbarArtwork::themeNames(int index)
{
    switch (index) {
    case Setup:
        return {QStringLiteral("preferences-system"), QStringLiteral("configure")};
    case Format:
        return {QStringLiteral("media-floppy"), QStringLiteral("drive-removable-media")};
    case Delete:
        return {QStringLiteral("edit-delete")};
    case Copy:
        return {QStringLiteral("edit-copy")};
    case Paste:
        return {QStringLiteral("edit-paste")};
    case LargeIcons:
        return {QStringLiteral("view-list-icons"), QStringLiteral("view-grid")};
    case SmallIcons:
        return {QStringLiteral("view-list-compact"), QStringLiteral("view-list-text")};
    case List:
        return {QStringLiteral("view-list-text"), QStringLiteral("view-list")};
    case Details:
        return {QStringLiteral("view-list-details")};
    case PalmtopConnect:
        return {QStringLiteral("pda"), QStringLiteral("phone")};
    case Refresh:
        return {QStringLiteral("view-refresh")};
    case Exit:
        return {QStringLiteral("application-exit"), QStringLiteral("system-log-out")};
    case ImageConnect:
        return {QStringLiteral("drive-harddisk")};
    case Sync:
        // The last name is in every theme that has Refresh, so a theme's set stays whole.
        return {QStringLiteral("emblem-synchronizing"), QStringLiteral("mail-send-receive"),
                QStringLiteral("view-refresh")};
    default:
        return {};
    }
}

QStringList ToolbarArtwork::headerThemeNames(int index)
{
    switch (index) {
    case HeaderUp:
        return {QStringLiteral("go-up")};
    case HeaderNewFolder:
        return {QStringLiteral("folder-new")};
    default:
        return {};
    }
}

QIcon ToolbarArtwork::bundledToolbarIcon(int index)
{
    if (index < 0 || index >= ImageCount)
        return QIcon();
    return painted(kToolbarKeys[index], kToolbarDrawings[index]);
}

QIcon ToolbarArtwork::bundledHeaderIcon(int index)
{
    if (index < 0 || index >= HeaderImageCount)
        return QIcon();
    return painted(kHeaderKeys[index], kHeaderDrawings[index]);
}

bool ToolbarArtwork::themeHasFullSet()
{
    auto found = [](const QStringList &names) {
        for (const QString &name : names) {
            if (QIcon::hasThemeIcon(name))
                return true;
        }
        return false;
    };
    for (int i = 0; i < ImageCount; ++i) {
        if (!found(themeNames(i)))
            return false;
    }
    for (int i = 0; i < HeaderImageCount; ++i) {
        if (!found(headerThemeNames(i)))
            return false;
    }
    return true;
}

QIcon ToolbarArtwork::themeIcon(const QStringList &names)
{
    for (const QString &name : names) {
        if (!QIcon::hasThemeIcon(name))
            continue;
        const QIcon theme = QIcon::fromTheme(name);
        if (!isDarkMonochrome(theme.pixmap(ImageSize, ImageSize).toImage()))
            return theme;
        QIcon light;
        for (const int size : {16, 22, 24, 32, 48})
            light.addPixmap(lightened(theme.pixmap(size, size)));
        return light;
    }
    return QIcon();
}

QIcon ToolbarArtwork::toolbarIcon(int index)
{
    if (index < 0 || index >= ImageCount)
        return QIcon();
    if (themeHasFullSet())
        return themeIcon(themeNames(index));
    return bundledToolbarIcon(index);
}

QIcon ToolbarArtwork::headerIcon(int index)
{
    if (index < 0 || index >= HeaderImageCount)
        return QIcon();
    if (themeHasFullSet())
        return themeIcon(headerThemeNames(index));
    return bundledHeaderIcon(index);
}

} // namespace vexo
