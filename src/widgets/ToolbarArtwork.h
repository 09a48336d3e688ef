#pragma once

#include <QIcon>
#include <QStringList>

namespace vexo
{

// The images of the main toolbar (32 x 32) and of the local pane's two header
// buttons (22 x 22).
//
// When the desktop's icon theme has an icon for every one of them, the theme's
// icons are used (monochrome dark ones are lightened to stay readable on the
// dark toolbar); otherwise all come from our own artwork, so the toolbar never
// mixes two styles.
class ToolbarArtwork
{
public:
    // Toolbar image indexes, as the toolbar buttons use them.
    enum Image {
        Setup = 0,
        Format = 1,
        Delete = 2,
        Copy = 3,
        Paste = 4,
        LargeIcons = 5,
        SmallIcons = 6,
        List = 7,
        Details = 8,
        PalmtopConnect = 9,
        Refresh = 10,
        Exit = 11,
        ImageConnect = 12,
        Sync = 13,
        ImageCount = 14
    };
    enum HeaderImage { HeaderUp = 0, HeaderNewFolder = 1, HeaderImageCount = 2 };
    static constexpr int ImageSize = 32;
    static constexpr int HeaderImageSize = 22;

    // The toolbar image `index` (0..13); a null icon for any other index.
    static QIcon toolbarIcon(int index);
    // The header image `index` (HeaderUp, HeaderNewFolder); null otherwise.
    static QIcon headerIcon(int index);
    // Always our own artwork (null for a bad index).
    static QIcon bundledToolbarIcon(int index);
    static QIcon bundledHeaderIcon(int index);
    // True when the current icon theme has every toolbar and header image.
    static bool themeHasFullSet();
    // Theme icon names tried for an image, most specific first.
    static QStringList themeNames(int index);
    static QStringList headerThemeNames(int index);

private:
    static QIcon themeIcon(const QStringList &names);
};

} // namespace vexo
