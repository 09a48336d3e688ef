// The language check: every window and dialog, in each shipped language, must
// speak that language only. Under a Chinese file no English word may show but
// names and units; under any other file no Han character; under none a raw
// key name or an empty caption.
#include "FakePlatform.h"
#include "MemoryRegistry.h"
#include "MemoryVDiskLibrary.h"
#include "ModalWatchdog.h"
#include "OnModal.h"
#include "app/PaneMenus.h"
#include "app/main.h"
#include "dialogs/InputText.h"
#include "dialogs/setup.h"
#include "engine/LanguageTable.h"
#include "local/LocalPane.h"
#include "transfer/DoProcess.h"
#include "transfer/TFormSync.h"
#include "transfer/TransferPlanner.h"
#include "transfer/uDialog.h"
#include "vdisk/VDiskPane.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

using namespace vexo;

namespace
{

const QRegularExpression Han(QStringLiteral("[\\x{3000}-\\x{303f}\\x{3400}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
// A word with a capital inside it, as key names are written ("CopySuccess").
const QRegularExpression CamelWord(QStringLiteral("\\b[A-Za-z]*[a-z][A-Z][A-Za-z]*\\b"));
const QRegularExpression LatinWord(QStringLiteral("[A-Za-z]+"));
// Names and units that every language writes the same way.
const QStringList Names{"VexoFileManager", "VexoTools", "USB", "COM", "FAT", "B", "KB", "MB", "GB"};
// The keys a tip or a menu entry names ("Copy (Ctrl+C)", "Refresh\tF5"): the
// keyboard's own labels, the same in every language.
const QRegularExpression KeyNames(
    QStringLiteral("\\b(?:(?:Ctrl|Shift|Alt)\\+)*(?:F\\d{1,2}|Del|Backspace|Enter|Return|[A-Z0-9])\\b"));
// The progress window's fixed texts, which stay as they are in Chinese.
const QStringList FixedEnglish{"Finish...", "Stop..."};

// Checks the texts one language shows and collects what is wrong.
class Checker
{
public:
    explicit Checker(bool chinese) : m_chinese(chinese)
    {
        // A key name that is no text of its own ("Patse", "Ok") shows a raw key.
        for (const QList<LanguageTable::Key> *list : {&LanguageTable::keys(), &LanguageTable::addedKeys()}) {
            for (const LanguageTable::Key &k : *list)
                m_keyNames << QLatin1String(k.key);
        }
        for (const QList<LanguageTable::Key> *list : {&LanguageTable::keys(), &LanguageTable::addedKeys()}) {
            for (const LanguageTable::Key &k : *list)
                m_keyNames.removeAll(QString::fromUtf8(k.def));
        }
    }

    void text(const QString &where, QString text, bool mayBeEmpty = false)
    {
        text.remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(u'&');
        // A menu entry's keys follow a tab; a tip's are in brackets at the end.
        if (const qsizetype tab = text.indexOf(u'\t'); tab >= 0)
            text = text.left(tab) + QString(text.mid(tab + 1)).remove(KeyNames);
        static const QRegularExpression tipKeys(QStringLiteral(" \\(([^()]*)\\)$"));
        if (const QRegularExpressionMatch m = tipKeys.match(text);
            m.hasMatch() && QString(m.captured(1)).remove(KeyNames).remove(u'/').trimmed().isEmpty())
            text.truncate(m.capturedStart());
        // A path in a message is the user's own, in no language.
        static const QRegularExpression path(QStringLiteral("(^|\\s)/\\S+"));
        text.remove(path);
        if (text.trimmed().isEmpty()) {
            if (!mayBeEmpty)
                m_problems << where + QStringLiteral(": empty");
            return;
        }
        for (auto it = CamelWord.globalMatch(text); it.hasNext();) {
            const QString word = it.next().captured();
            if (!Names.contains(word))
                m_problems << where + QStringLiteral(": raw key \"") + text + u'"';
        }
        if (m_keyNames.contains(text))
            m_problems << where + QStringLiteral(": raw key \"") + text + u'"';
        if (m_chinese) {
            if (FixedEnglish.contains(text))
                return;
            for (auto it = LatinWord.globalMatch(text); it.hasNext();) {
                if (!Names.contains(it.next().captured())) {
                    m_problems << where + QStringLiteral(": English in \"") + text + u'"';
                    break;
                }
            }
        } else if (text.contains(Han)) {
            m_problems << where + QStringLiteral(": Chinese in \"") + text + u'"';
        }
    }

    // Every caption, title, tool tip and column title of a window and its
    // visible children. Controls that show data (paths, file names, port
    // nodes) are left out.
    void window(QWidget *root)
    {
        const QString name = root->objectName();
        text(name + QStringLiteral(" title"), root->windowTitle());
        QList<QWidget *> widgets{root};
        widgets += root->findChildren<QWidget *>();
        for (QWidget *w : widgets) {
            if (w != root && !w->isVisibleTo(root))
                continue;
            const QString where = name + u'/' + w->objectName();
            if (DataControls.contains(w->objectName()))
                continue;
            if (!w->toolTip().isEmpty())
                text(where + QStringLiteral(" tip"), w->toolTip());
            if (auto *label = qobject_cast<QLabel *>(w)) {
                if (label->pixmap().isNull())
                    text(where, label->text(), BlankAtRest.contains(w->objectName()));
            } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
                if (button->icon().isNull())
                    text(where, button->text());
                else if (qobject_cast<QToolButton *>(w))
                    text(where + QStringLiteral(" tip"), button->toolTip());
            } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
                text(where, group->title());
            } else if (auto *panel = qobject_cast<CaptionPanel *>(w)) {
                text(where, panel->text());
            } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
                for (int i = 0; i < combo->count(); ++i)
                    text(where + QStringLiteral(" item"), combo->itemText(i));
            } else if (auto *list = qobject_cast<FileListView *>(w)) {
                listTexts(where, list);
            } else if (auto *tree = qobject_cast<QTreeWidget *>(w)) {
                treeTexts(where, tree);
            }
        }
    }

    // Every entry of a menu.
    void menu(QMenu *menu)
    {
        for (QAction *action : menu->actions()) {
            if (!action->isSeparator())
                text(menu->objectName() + u'/' + action->objectName(), action->text());
        }
    }

    const QStringList &problems() const { return m_problems; }

private:
    void listTexts(const QString &where, FileListView *list)
    {
        QHeaderView *header = list->header();
        const QAbstractItemModel *model = list->model();
        for (int c = 0; model && c < header->count(); ++c) {
            if (header->isSectionHidden(c))
                continue;
            text(where + QStringLiteral(" column"), model->headerData(c, Qt::Horizontal).toString());
            // The size and date texts of the rows; the names are data.
            for (int r = 0; c > 0 && r < list->rowCount() && r < 5; ++r)
                text(where + QStringLiteral(" cell"),
                     list->indexOfRow(r).siblingAtColumn(c).data().toString(), true);
        }
    }

    // The column titles, and the texts of the columns that are no file names.
    void treeTexts(const QString &where, QTreeWidget *tree)
    {
        for (int c = 0; c < tree->columnCount(); ++c) {
            text(where + QStringLiteral(" column"), tree->headerItem()->text(c));
            for (int r = 0; c > 0 && r < tree->topLevelItemCount(); ++r)
                text(where + QStringLiteral(" cell"), tree->topLevelItem(r)->text(c), true);
        }
    }

    // Controls that show the user's data.
    const QStringList DataControls{"ShellComboBox", "LabSrc",    "LabDesc",   "edtPath",
                                   "edtText",       "cbComport", "cbBaudrate"};
    // Labels that are empty until something happens.
    const QStringList BlankAtRest{"StatusPanel1", "labFilename", "labFileCount", "labRun"};
    bool m_chinese;
    QStringList m_keyNames;
    QStringList m_problems;
};

// Runs `look` while the dialog that `open` shows modally is up, then closes it.
void whileOpen(const std::function<void()> &open, const std::function<void(QWidget *)> &look)
{
    test::ModalWatchdog watchdog;
    test::OnModal<QWidget> driver([&](QWidget &dialog) {
        look(&dialog);
        dialog.close();
    });
    open();
    QVERIFY2(driver.shown() == 1 && !watchdog.fired(), watchdog.report());
}

} // namespace

class LanguageCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void everyWindowInOneLanguage_data()
    {
        QTest::addColumn<QString>("file");
        const QDir shipped(QStringLiteral(VEXO_LANGUAGE_DIR));
        for (const QString &file : shipped.entryList({QStringLiteral("*.lng")}, QDir::Files))
            QTest::newRow(qPrintable(file)) << file;
    }

    void everyWindowInOneLanguage()
    {
        QFETCH(QString, file);
        test::FakePlatform fake;
        QFile shipped(QStringLiteral(VEXO_LANGUAGE_DIR "/") + file);
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        fake.files.setContent(fake.folder() + u'/' + file, shipped.readAll());
        fake.files.setContent(fake.ini(),
                              "[Setting]\nAutoRpc=0\nAutoVDisk=0\nLanguage=" + file.toUtf8() + '\n');
        test::MemoryVDiskLibrary image;
        test::MemoryRegistry registry;
        PlatformServices services = fake.services();
        services.vdisk = &image;
        services.registry = &registry;
        const QString local = fake.folder() + QStringLiteral("/local");
        QDir().mkpath(local + QStringLiteral("/2"));
        QFile data(local + QStringLiteral("/1"));
        QVERIFY(data.open(QIODevice::WriteOnly) && data.write("twenty bytes of data") == 20);
        data.close();

        TFormMain w(services);
        test::showActive(w);
        const bool chinese = w.language.locale.startsWith(QLatin1String("zh"));
        Checker check(chinese);
        const LanguageTable &t = w.language;

        // The main window at the top level and in a folder with a file in it.
        check.window(&w);
        w.PLeft->showFolder(local);
        QVERIFY(QTest::qWaitFor([&] { return w.ShellList->rowCount() == 2; }, 3000));
        QTest::qWait(200); // sizes and dates come in after the names
        check.window(&w);

        // The dialogs.
        TFormSetup setup(w.settings, t, w.settingsFile(), fake.files, fake.prompter,
                         fake.paths.languageFolders(), &w);
        check.window(&setup);
        TFormDoProcess progress(w.transferContext(), &w);
        check.window(&progress);
        // Mid-run, with a speed and the time left.
        TransferCounts counts;
        counts.fileNumber = counts.fileCount = 1;
        counts.fileTotal = counts.runTotal = 1 << 20;
        progress.showCounts(0, counts);
        counts.fileDone = counts.runDone = counts.moved = 1 << 19;
        progress.showCounts(5000, counts);
        check.window(&progress);
        QVERIFY(QMetaObject::invokeMethod(&progress, "threadFinishing"));
        check.window(&progress);
        TFormDialogReplace replace(w.transferContext(), &w);
        const ReplaceFacts facts({true, 20, 2000000000000}, {true, 12345, 1000000000000});
        whileOpen([&] { replace.AskReplace(local + QStringLiteral("/1"), QStringLiteral("1"), facts); },
                  [&](QWidget *d) { check.window(d); });
        // The synchronisation preview, with a row of each kind it shows at
        // first. Its title holds the folder: a name with no letters in it.
        TFormSync::Sides sides;
        sides.folder = QStringLiteral("/1");
        sides.local = {{"SEND.TXT", 20, 2000000000000},
                       {"NEW.TXT", 20, 2000000000000},
                       {"SAME.TXT", 20, 1000000000000},
                       {"a-name-longer-than-sixteen.txt", 1, 0}};
        sides.remote = {
            {"NEW.TXT", 20, 1000000000000}, {"GET.TXT", 20, 1000000000000}, {"SAME.TXT", 20, 1000000000000}};
        for (const TFormSync::Other other : {TFormSync::Other::Device, TFormSync::Other::VDisk}) {
            sides.other = other;
            TFormSync sync(t, sides, &w);
            QVERIFY(sync.SyncList->topLevelItemCount() >= 4);
            check.window(&sync);
        }

        // The context menus of the three panes.
        for (FileListView *list : {w.ShellList, w.RpcList, w.VDiskList}) {
            const std::unique_ptr<QMenu> menu(w.findChild<PaneMenus *>()->buildMenu(list));
            check.menu(menu.get());
        }

        TFormInputText input(&w);
        input.setButtonTexts(t.window(QStringLiteral("InputOk")), t.window(QStringLiteral("InputCancel")));
        whileOpen([&] { input.AskText(t.other("CreateNewFolder"), t.msg("Foldername"), QString()); },
                  [&](QWidget *d) { check.window(d); });

        // Message boxes, asked the way the commands ask them.
        w.ShellList->setCurrentRow(1);
        w.PLeft->deleteSelection();
        w.PLeft->butShellNewFolderClick();
        w.vdiskPane->ShowNoInstallPath();
        w.vdiskPane->TB_FormatClick();
        w.transfers->ShowNoFolderCopy();
        w.transfers->ShowSkippedFolders({local + QStringLiteral("/1")});
        QCOMPARE(fake.prompter.questions().size(), 6);
        for (const test::ScriptedPrompter::Question &q : fake.prompter.questions()) {
            check.text(QStringLiteral("message"), q.text);
            check.text(QStringLiteral("message title"), q.title);
        }
        // The toolkit's own buttons (qt6-translations-l10n).
        QMessageBox box(QMessageBox::Question, QString(), QString(),
                        QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
        for (QAbstractButton *button : box.buttons())
            check.text(QStringLiteral("standard button"), button->text());

        // Every text of the table, also those only a failure shows.
        for (const QList<LanguageTable::Key> *list : {&LanguageTable::keys(), &LanguageTable::addedKeys()}) {
            for (const LanguageTable::Key &k : *list)
                check.text(QLatin1String(k.section) + u'/' + QLatin1String(k.key),
                           Filled(t.text(QLatin1String(k.section), QLatin1String(k.key)), {"1", "2"}));
        }
        QVERIFY2(check.problems().isEmpty(), qPrintable(check.problems().join(u'\n')));
    }

    void noChineseTextOutsideTheLanguageTable()
    {
        // The fixed Chinese messages live in the language table as defaults;
        // a Chinese literal anywhere else in the program would show under
        // every language. Font family names are not texts.
        const QRegularExpression literal(
            QStringLiteral("\"[^\"]*[\\x{3000}-\\x{303f}\\x{3400}-\\x{9fff}\\x{ff00}-"
                           "\\x{ffef}][^\"]*\""));
        QStringList found;
        QDirIterator it(QStringLiteral(VEXO_SOURCE_DIR "/src"),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(QLatin1String("/engine/LanguageTable.cpp")))
                continue;
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            int line = 0;
            for (const QByteArray &bytes : f.readAll().split('\n')) {
                ++line;
                const QString code = QString::fromUtf8(bytes).trimmed();
                if (code.startsWith(QLatin1String("//")) || code.contains(QLatin1String("setFamilies")))
                    continue;
                if (code.contains(literal))
                    found << path + u':' + QString::number(line);
            }
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
    }
};

QTEST_MAIN(LanguageCheckTest)
#include "LanguageCheckTest.moc"
