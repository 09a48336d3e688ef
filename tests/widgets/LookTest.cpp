#include "widgets/CaptionPanel.h"
#include "widgets/DeepBlueStyle.h"
#include "widgets/StatusLabel.h"
#include "widgets/ToolbarArtwork.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QMenu>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

using vexo::CaptionPanel;
using vexo::DeepBlueStyle;
using vexo::ToolbarArtwork;

namespace
{

QImage imageOf(const QIcon &icon, int size, QIcon::Mode mode = QIcon::Normal)
{
    return icon.pixmap(size, size, mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

double opaqueShare(const QImage &image)
{
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
    return double(opaque) / (image.width() * image.height());
}

// Writes a one-colour 32 x 32 PNG theme icon for each name.
bool writeTheme(const QString &root, const QString &theme, const QMap<QString, QColor> &icons)
{
    const QString dir = root + QLatin1Char('/') + theme;
    if (!QDir().mkpath(dir + QStringLiteral("/32x32/actions")))
        return false;
    QFile index(dir + QStringLiteral("/index.theme"));
    if (!index.open(QIODevice::WriteOnly))
        return false;
    index.write("[Icon Theme]\nName=" + theme.toUtf8() +
                "\nDirectories=32x32/actions\n\n[32x32/actions]\nSize=32\nType=Fixed\n");
    for (auto it = icons.begin(); it != icons.end(); ++it) {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        for (int y = 4; y < 28; ++y)
            for (int x = 4; x < 28; ++x)
                image.setPixelColor(x, y, it.value());
        if (!image.save(dir + QStringLiteral("/32x32/actions/") + it.key() + QStringLiteral(".png")))
            return false;
    }
    return true;
}

QMap<QString, QColor> fullSet(const QColor &colour)
{
    QMap<QString, QColor> icons;
    for (int i = 0; i < ToolbarArtwork::ImageCount; ++i)
        icons.insert(ToolbarArtwork::themeNames(i).first(), colour);
    for (int i = 0; i < ToolbarArtwork::HeaderImageCount; ++i)
        icons.insert(ToolbarArtwork::headerThemeNames(i).first(), colour);
    return icons;
}

bool isDarkBlue(const QColor &c)
{
    return c.blue() > c.red() + 30 && c.lightness() < 110;
}

} // namespace

class LookTest : public QObject
{
    Q_OBJECT
private slots:
    void bundledArtworkIsCompleteAndDistinct();
    void themeIconsOnlyAsAWholeSet();
    void captionPanelLayout();
    void deepBlueFrameWithLightLists();
    void disabledMenuEntriesAreGreyedOut();
    void statusFieldShortensThePathNotTheReason();
};

void LookTest::bundledArtworkIsCompleteAndDistinct()
{
    QList<QImage> images;
    for (int i = 0; i < ToolbarArtwork::ImageCount; ++i) {
        const QIcon icon = ToolbarArtwork::bundledToolbarIcon(i);
        QVERIFY(!icon.isNull());
        const QImage image = imageOf(icon, ToolbarArtwork::ImageSize);
        QCOMPARE(image.size(), QSize(32, 32));
        QVERIFY2(opaqueShare(image) > 0.25, qPrintable(QString::number(i)));
        images << image;
    }
    for (int i = 0; i < ToolbarArtwork::HeaderImageCount; ++i) {
        const QImage image = imageOf(ToolbarArtwork::bundledHeaderIcon(i), ToolbarArtwork::HeaderImageSize);
        QCOMPARE(image.size(), QSize(22, 22));
        QVERIFY(opaqueShare(image) > 0.25);
        images << image.scaled(32, 32);
    }
    for (int a = 0; a < images.size(); ++a)
        for (int b = a + 1; b < images.size(); ++b)
            QVERIFY2(images.at(a) != images.at(b), qPrintable(QStringLiteral("%1 = %2").arg(a).arg(b)));

    for (int bad : {-1, int(ToolbarArtwork::ImageCount)}) {
        QVERIFY(ToolbarArtwork::toolbarIcon(bad).isNull());
        QVERIFY(ToolbarArtwork::bundledToolbarIcon(bad).isNull());
    }
    QVERIFY(ToolbarArtwork::headerIcon(ToolbarArtwork::HeaderImageCount).isNull());

    // Disabled buttons show a grey, fainter image.
    const QImage disabled =
        imageOf(ToolbarArtwork::bundledToolbarIcon(ToolbarArtwork::Delete), 32, QIcon::Disabled);
    const QColor centre = disabled.pixelColor(16, 16);
    QVERIFY(centre.alpha() > 0 && centre.alpha() < 160);
    QCOMPARE(centre.hsvSaturation(), 0);
}

void LookTest::themeIconsOnlyAsAWholeSet()
{
    const QString oldTheme = QIcon::themeName();
    const QStringList oldPaths = QIcon::themeSearchPaths();
    QTemporaryDir root;
    QVERIFY(root.isValid());

    QMap<QString, QColor> full = fullSet(QColor(200, 30, 30));
    full.insert(ToolbarArtwork::themeNames(ToolbarArtwork::Copy).first(),
                QColor(0x2e, 0x34, 0x36)); // symbolic grey
    QVERIFY(writeTheme(root.path(), QStringLiteral("complete"), full));
    QMap<QString, QColor> partial = fullSet(QColor(200, 30, 30));
    partial.remove(ToolbarArtwork::themeNames(ToolbarArtwork::Refresh).first());
    QVERIFY(writeTheme(root.path(), QStringLiteral("partial"), partial));
    QIcon::setThemeSearchPaths({root.path()});

    QIcon::setThemeName(QStringLiteral("complete"));
    QVERIFY(ToolbarArtwork::themeHasFullSet());
    QCOMPARE(imageOf(ToolbarArtwork::toolbarIcon(ToolbarArtwork::Delete), 32).pixelColor(16, 16),
             QColor(200, 30, 30));
    QCOMPARE(imageOf(ToolbarArtwork::headerIcon(ToolbarArtwork::HeaderUp), 22).pixelColor(11, 11),
             QColor(200, 30, 30));
    // Dark monochrome theme art is lightened for the dark toolbar.
    const QImage copy = imageOf(ToolbarArtwork::toolbarIcon(ToolbarArtwork::Copy), 32);
    QVERIFY(copy.pixelColor(16, 16).lightness() > 200);
    QCOMPARE(qAlpha(copy.pixel(1, 1)), 0);

    QIcon::setThemeName(QStringLiteral("partial"));
    QVERIFY(!ToolbarArtwork::themeHasFullSet());
    for (int i : {int(ToolbarArtwork::Delete), int(ToolbarArtwork::Refresh)})
        QCOMPARE(imageOf(ToolbarArtwork::toolbarIcon(i), 32),
                 imageOf(ToolbarArtwork::bundledToolbarIcon(i), 32));
    QCOMPARE(imageOf(ToolbarArtwork::headerIcon(ToolbarArtwork::HeaderNewFolder), 22),
             imageOf(ToolbarArtwork::bundledHeaderIcon(ToolbarArtwork::HeaderNewFolder), 22));

    QIcon::setThemeSearchPaths(oldPaths);
    QIcon::setThemeName(oldTheme);
}

void LookTest::captionPanelLayout()
{
    CaptionPanel panel(QStringLiteral("Palmtop - 未连接"));
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 128));
    palette.setColor(QPalette::WindowText, Qt::black);
    panel.setPalette(palette);
    panel.resize(400, 50); // the height stays fixed
    QCOMPARE(panel.height(), CaptionPanel::PanelHeight);
    QVERIFY(QFontInfo(panel.font()).fixedPitch());
    QCOMPARE(panel.font().pixelSize(), 16);

    const QImage image = panel.grab().toImage();
    // Sunken outside, raised inside.
    QVERIFY(image.pixelColor(0, 0).lightness() < 128);
    QVERIFY(image.pixelColor(1, 1).lightness() > 128);
    QVERIFY(image.pixelColor(399, 29).lightness() > 128);
    QVERIFY(image.pixelColor(398, 28).lightness() < 128);
    // Left-aligned text starts just after the indent.
    int firstInk = -1;
    for (int x = 2; x < image.width() - 2 && firstInk < 0; ++x)
        for (int y = 3; y < 27; ++y)
            if (image.pixelColor(x, y).lightness() < 60) {
                firstInk = x;
                break;
            }
    QVERIFY2(firstInk >= CaptionPanel::TextIndent && firstInk <= CaptionPanel::TextIndent + 4,
             qPrintable(QString::number(firstInk)));

    // Too narrow: the link state stays whole; the free space gives way.
    const QFontMetrics metrics(panel.font());
    const QString caption = QStringLiteral("Palmtop Files (73 GB free of 251 GB) - Connected");
    const int narrow = metrics.horizontalAdvance(QStringLiteral("Palmtop Files (7 - Connected"));
    const QString shown = CaptionPanel::fitted(caption, metrics, narrow);
    QVERIFY2(shown.startsWith(QLatin1String("Palmtop Files")) &&
                 shown.endsWith(QLatin1String(" - Connected")) && metrics.horizontalAdvance(shown) <= narrow,
             qPrintable(shown));
    QCOMPARE(CaptionPanel::fitted(caption, metrics, metrics.horizontalAdvance(caption)), caption);
}

void LookTest::deepBlueFrameWithLightLists()
{
    QVERIFY(DeepBlueStyle::styleSheet().contains(QLatin1String("vexo--CaptionPanel")));
    DeepBlueStyle::apply(*qApp);
    QCOMPARE(qApp->styleSheet(), DeepBlueStyle::styleSheet());

    QWidget window;
    window.resize(400, 300);
    auto *toolbar = new QToolBar(&window);
    toolbar->setGeometry(0, 0, 400, 40);
    toolbar->addAction(ToolbarArtwork::toolbarIcon(ToolbarArtwork::Exit), QStringLiteral("Exit"));
    auto *caption = new CaptionPanel(QStringLiteral("VDisk"), &window);
    caption->setGeometry(0, 40, 400, 30);
    auto *tree = new QTreeView(&window);
    tree->setGeometry(0, 70, 400, 200);
    auto *status = new QStatusBar(&window);
    status->setGeometry(0, 270, 400, 22);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QImage shot = window.grab().toImage();
    QVERIFY(isDarkBlue(shot.pixelColor(380, 20)));        // toolbar
    QVERIFY(isDarkBlue(shot.pixelColor(380, 55)));        // caption panel
    QVERIFY(isDarkBlue(shot.pixelColor(380, 281)));       // status bar
    QVERIFY(shot.pixelColor(200, 200).lightness() > 230); // list
    QVERIFY(caption->palette().color(QPalette::WindowText).lightness() > 200);
    qApp->setStyleSheet(QString());
}

void LookTest::disabledMenuEntriesAreGreyedOut()
{
    DeepBlueStyle::apply(*qApp);
    QMenu menu;
    QAction *on = menu.addAction(QStringLiteral("Copy\tCtrl+C"));
    QAction *off = menu.addAction(QStringLiteral("Copy\tCtrl+C"));
    off->setEnabled(false);
    const QImage shot = menu.grab().toImage();
    // The darkest pixel of each entry is its text.
    auto darkest = [&shot](const QRect &box) {
        int lightness = 255;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                lightness = qMin(lightness, shot.pixelColor(x, y).lightness());
        return lightness;
    };
    QVERIFY(darkest(menu.actionGeometry(on)) < 80);
    QVERIFY(darkest(menu.actionGeometry(off)) > darkest(menu.actionGeometry(on)) + 60);
}

QTEST_MAIN(LookTest)
#include "LookTest.moc"

void LookTest::statusFieldShortensThePathNotTheReason()
{
    using vexo::StatusLabel;
    const QFontMetrics metrics(QApplication::font());
    const QString deep = QStringLiteral("/home/someone/Documents/projects/palmtop/backups/2026/december/");
    const QString fits = QStringLiteral("Cannot open /dev/ttyUSB0: not a serial device");
    const int width = metrics.horizontalAdvance(fits);
    // Text, and the reason that must be shown whole after the shortened path.
    const QList<QPair<QString, QString>> cases = {
        {fits, fits},
        {"Cannot open " + deep + "ttyUSB0: not a serial device", ": not a serial device"},
        {"Cannot mount " + deep + "disk.img: damaged", "disk.img: damaged"},
        {"Folder not found: " + deep + "photos", "photos"},
    };
    for (const auto &[text, reason] : cases) {
        const QString shown = StatusLabel::shortened(text, metrics, width);
        QVERIFY2(metrics.horizontalAdvance(shown) <= width, qPrintable(shown));
        QVERIFY2(shown.startsWith(text.left(text.indexOf(u'/'))), qPrintable(shown));
        QVERIFY2(shown.endsWith(reason), qPrintable(shown));
    }
}
