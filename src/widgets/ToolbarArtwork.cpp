#include "widgets/ToolbarArtwork.h"

#include "widgets/ArtworkDrawing.h"
#include "widgets/PaintedIconEngine.h"

#include <QImage>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <iterator>

namespace vexo
{

namespace
{

using Drawing = void (*)(QPainter &);

// One image: the key of our own drawing, the drawing, and the theme icon names
// tried for it, most specific first.
struct Picture {
    const char *key;
    Drawing drawing;
    std::array<const char *, 3> themeNames;
};

const Picture kToolbar[ToolbarArtwork::ImageCount] = {
    {"setup", artwork::drawSetup, {"preferences-system", "configure"}},
    {"format", artwork::drawFormat, {"media-floppy", "drive-removable-media"}},
    {"delete", artwork::drawDelete, {"edit-delete"}},
    {"copy", artwork::drawCopy, {"edit-copy"}},
    {"paste", artwork::drawPaste, {"edit-paste"}},
    {"large-icons", artwork::drawLargeIcons, {"view-list-icons", "view-grid"}},
    {"small-icons", artwork::drawSmallIcons, {"view-list-compact", "view-list-text"}},
    {"list", artwork::drawList, {"view-list-text", "view-list"}},
    {"details", artwork::drawDetails, {"view-list-details"}},
    {"palmtop-connect", artwork::drawPalmtopConnect, {"pda", "phone"}},
    {"refresh", artwork::drawRefresh, {"view-refresh"}},
    {"exit", artwork::drawExit, {"application-exit", "system-log-out"}},
    {"image-connect", artwork::drawImageConnect, {"drive-harddisk"}},
    // The last name is in every theme that has Refresh, so a theme's set stays whole.
    {"sync", artwork::drawSync, {"emblem-synchronizing", "mail-send-receive", "view-refresh"}}};

const Picture kHeader[ToolbarArtwork::HeaderImageCount] = {
    {"folder-up", artwork::drawFolderUp, {"go-up"}}, {"folder-new", artwork::drawNewFolder, {"folder-new"}}};

// The picture `index` of `set`, or nullptr when out of range.
template <std::size_t N> const Picture *pictureAt(const Picture (&set)[N], int index)
{
    return index >= 0 && std::size_t(index) < N ? &set[index] : nullptr;
}

QStringList namesOf(const Picture *picture)
{
    QStringList names;
    if (picture) {
        for (const char *name : picture->themeNames) {
            if (name)
                names.append(QLatin1String(name));
        }
    }
    return names;
}

QIcon bundled(const Picture *picture)
{
    if (!picture)
        return QIcon();
    return QIcon(
        new PaintedIconEngine(QStringLiteral("vexo-") + QLatin1String(picture->key), picture->drawing));
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
    return namesOf(pictureAt(kToolbar, index));
}

QStringList ToolbarArtwork::headerThemeNames(int index)
{
    return namesOf(pictureAt(kHeader, index));
}

QIcon ToolbarArtwork::bundledToolbarIcon(int index)
{
    return bundled(pictureAt(kToolbar, index));
}

QIcon ToolbarArtwork::bundledHeaderIcon(int index)
{
    return bundled(pictureAt(kHeader, index));
}

bool ToolbarArtwork::themeHasFullSet()
{
    auto found = [](const Picture &picture) {
        const QStringList names = namesOf(&picture);
        return std::any_of(names.begin(), names.end(),
                           [](const QString &name) { return QIcon::hasThemeIcon(name); });
    };
    return std::all_of(std::begin(kToolbar), std::end(kToolbar), found) &&
           std::all_of(std::begin(kHeader), std::end(kHeader), found);
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
    return themeHasFullSet() ? themeIcon(themeNames(index)) : bundledToolbarIcon(index);
}

QIcon ToolbarArtwork::headerIcon(int index)
{
    return themeHasFullSet() ? themeIcon(headerThemeNames(index)) : bundledHeaderIcon(index);
}

} // namespace vexo
