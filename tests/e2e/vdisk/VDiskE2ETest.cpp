#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "ScriptedPrompter.h"
#include "WindowTestSupport.h"
#include "app/main.h"
#include "engine/ImageMount.h"
#include "engine/LanguageTable.h"
#include "engine/TransferProgress.h"
#include "platform/LibVDiskLibrary.h"
#include "platform/LinuxProfileFiles.h"
#include "platform/ProfileRegistry.h"
#include "vdisk/VDiskPane.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <cstdio>
#include <memory>

using namespace vexo;

namespace
{

using test::captions;
using test::tool;

int run(const QString &program, const QStringList &args, QByteArray *out = nullptr)
{
    return test::runTool(program, args, out);
}

} // namespace

class VDiskE2ETest : public QObject
{
    Q_OBJECT

private slots:
    void mountListOpenRenameDeleteFormat()
    {
        const QString mkfs = tool("mkfs.fat"), fsck = tool("fsck.fat"), mcopy = tool("mcopy"),
                      mtype = tool("mtype"), mdir = tool("mdir");
        if (mkfs.isEmpty() || fsck.isEmpty() || mcopy.isEmpty() || mtype.isEmpty() || mdir.isEmpty())
            QSKIP("dosfstools and mtools are needed");

        QTemporaryDir root;
        QVERIFY(root.isValid());
        // An install folder with a space and Chinese characters in its name.
        const QString install = root.filePath(QStringLiteral("模拟器 Tools"));
        const QString lib = install + "/target/public/lib";
        QVERIFY(QDir().mkpath(lib));
        const QString image = lib + "/vdisk.dat";
        QCOMPARE(run(mkfs, {"-C", image, "2048"}), 0);
        QByteArray data(3000, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i * 13);
        const QString source = root.filePath("source");
        QVERIFY(QDir().mkpath(source));
        for (const auto &[name, bytes] : {std::pair<QString, QByteArray>{"README.TXT", "read me\r\n"},
                                          {"DATA.BIN", data},
                                          {"OLD.TXT", "old name"}}) {
            QFile f(source + "/" + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            f.close();
            QCOMPARE(run(mcopy, {"-i", image, source + "/" + name, "::" + name}), 0);
        }

        // The caption shows the image's free space as mtools counts it.
        QByteArray listing;
        QCOMPARE(run(mdir, {"-i", image, "::"}, &listing), 0);
        const QRegularExpressionMatch free =
            QRegularExpression(QStringLiteral("([0-9 ]+) bytes free")).match(QString::fromLatin1(listing));
        QVERIFY2(free.hasMatch(), listing.constData());
        const qint64 freeBytes = free.captured(1).remove(u' ').toLongLong();

        // The registry file names the install folder.
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath("config")));
        LinuxProfileFiles profiles;
        ProfileRegistry registry(profiles, ProfileRegistry::defaultFolder());
        QVERIFY(QDir().mkpath(ProfileRegistry::defaultFolder()));
        QVERIFY(profiles.writeString(registry.fileName(),
                                     "HKEY_LOCAL_MACHINE\\Software\\Tavrin\\VexoTools\\2", "InstallPath",
                                     install));
        QVERIFY(QDir().mkpath(root.filePath("program")) && QDir().mkpath(root.filePath("tmp")));
        QVERIFY(profiles.writeString(root.filePath("program/VexoFile.ini"), "Setting", "AutoRpc", "0"));
        QVERIFY(profiles.writeString(root.filePath("program/VexoFile.ini"), "Setting", "AutoVDisk", "1"));

        test::FakeSystemPaths paths(root.filePath("program") + "/", root.filePath("tmp") + "/");
        test::ScriptedPrompter prompter;
        test::FakeDesktopShell shell;
        LibVDiskLibrary vdisk;
        PlatformServices services{&profiles, &paths, &prompter, &shell};
        services.vdisk = &vdisk;
        services.registry = &registry;

        auto w = std::make_unique<TFormMain>(services);
        w->resize(1000, 700);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));

        // Mounted and listed at start-up.
        QTRY_COMPARE(w->imageMount().VDiskState(), 1);
        QTRY_COMPARE(w->VDiskRows->rowCount(), 3);
        const QString caption = w->PVDiskStatus->text();
        QVERIFY2(caption.startsWith("Simulator Disk Filelist (" +
                                    TransferProgress::sizeText(LanguageTable(), freeBytes) + " free of ") &&
                     caption.endsWith(") - Connected"),
                 qPrintable(caption));
        QCOMPARE(captions(w->VDiskRows), (QStringList{"README.TXT", "DATA.BIN", "OLD.TXT"}));
        QCOMPARE(w->VDiskRows->row(1).sizeText, QStringLiteral("      3000 B"));
        QVERIFY(prompter.questions().isEmpty());

        // Double-click copies DATA.BIN out and opens the copy.
        FileListView *list = w->VDiskList;
        QAbstractItemView *view = list->detailView();
        view->setFocus();
        const QPoint cell = view->visualRect(list->indexOfRow(1)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell);
        const QString copy = w->TempDir + "/DATA.BIN";
        QTRY_COMPARE(shell.opened(), QStringList{copy});
        QFile opened(copy);
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(opened.readAll(), data);

        // Rename OLD.TXT in place.
        list->setCurrentRow(2);
        list->editCurrent();
        QLineEdit *editor = nullptr;
        for (QLineEdit *edit : view->findChildren<QLineEdit *>()) {
            if (edit->isVisible())
                editor = edit;
        }
        QVERIFY(editor);
        editor->setText("NEW.TXT");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!list->isEditing());
        QCOMPARE(w->VDiskRows->caption(2), QStringLiteral("NEW.TXT"));

        // While a program that takes no lock (the simulator) has the image
        // open, a delete is refused and the pane says who holds it.
        QProcess simulator;
        simulator.setStandardInputFile(image);
        simulator.start("sleep", {"30"});
        QVERIFY(simulator.waitForStarted());
        // Until it runs as "sleep", and the look for such programs before the
        // rename (kept for a second) is done again.
        QTest::qWait(1200);
        list->setCurrentRow(0);
        prompter.answer(PromptAnswer::Ok);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(captions(w->VDiskRows), (QStringList{"README.TXT", "DATA.BIN", "NEW.TXT"}));
        QCOMPARE(w->PVDiskStatus->toolTip(),
                 QStringLiteral("sleep (pid %1) has the image open: close the simulator first")
                     .arg(simulator.processId()));
        simulator.kill();
        simulator.waitForFinished();

        // Delete README.TXT with the Delete key.
        list->setCurrentRow(0);
        prompter.answer(PromptAnswer::Ok);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(captions(w->VDiskRows), (QStringList{"DATA.BIN", "NEW.TXT"}));

        // Another program changes the image, in place and then by putting a
        // new file in its place: the pane follows without a refresh, in the
        // order the user sorted it, and the selected row stays selected.
        w->VDiskRows->sort(FileRowModel::NameColumn, Qt::DescendingOrder);
        list->setCurrentRow(0);
        QCOMPARE(run(mcopy, {"-i", image, source + "/OLD.TXT", "::LATE.TXT"}), 0);
        QTRY_COMPARE(w->VDiskRows->rowCount(), 3);
        QCOMPARE(captions(w->VDiskRows), (QStringList{"NEW.TXT", "LATE.TXT", "DATA.BIN"}));
        QCOMPARE(w->VDiskRows->caption(list->currentIndex().row()), QStringLiteral("NEW.TXT"));
        QCOMPARE(list->selectedRows(), QModelIndexList{list->currentIndex()});
        QVERIFY(QFile::copy(image, image + ".new"));
        QCOMPARE(run(mcopy, {"-i", image + ".new", source + "/OLD.TXT", "::SWAP.TXT"}), 0);
        QVERIFY(std::rename(QFile::encodeName(image + ".new"), QFile::encodeName(image)) == 0);
        QTRY_COMPARE(w->VDiskRows->rowCount(), 4);
        QVERIFY(captions(w->VDiskRows).contains("SWAP.TXT"));
        // Its second FAT made to differ, and then put back: the caption says
        // what a mount would say of it each time.
        QFile fat(image);
        QVERIFY(fat.open(QIODevice::ReadWrite));
        const QByteArray boot = fat.read(24);
        const auto word = [&boot](int at) { return uchar(boot[at]) | uchar(boot[at + 1]) << 8; };
        const qint64 at = qint64(word(14) + word(22)) * word(11) + 40; // reserved + one FAT, in bytes
        QVERIFY(fat.seek(at));
        const char was = fat.read(1)[0];
        for (const char byte : {char(was ^ 0x77), was}) {
            QVERIFY(fat.seek(at) && fat.write(&byte, 1) == 1 && fat.flush());
            QTRY_VERIFY2(w->PVDiskStatus->text().endsWith(byte == was ? " - Connected"
                                                                      : " - the image is damaged: run check"),
                         qPrintable(w->PVDiskStatus->text()));
        }
        fat.close();

        // Unmounted, the image is consistent and holds what the pane shows.
        QTest::mouseClick(w->TB_VDiskConnect, Qt::LeftButton);
        QCOMPARE(w->imageMount().VDiskState(), 0);
        QByteArray out;
        QCOMPARE(run(fsck, {"-n", image}, &out), 0);
        QCOMPARE(run(mtype, {"-i", image, "::NEW.TXT"}, &out), 0);
        QCOMPARE(out, QByteArray("old name"));
        QCOMPARE(run(mtype, {"-i", image, "::README.TXT"}, &out) == 0, false);

        // Mount again and format: the pane lists the empty image.
        QTest::mouseClick(w->TB_VDiskConnect, Qt::LeftButton);
        QTRY_COMPARE(w->imageMount().VDiskState(), 1);
        QTRY_COMPARE(w->VDiskRows->rowCount(), 4);
        QTRY_VERIFY(!w->vdiskPane->mountRunning());
        prompter.answer(PromptAnswer::Ok);
        QTest::mouseClick(w->TB_Format, Qt::LeftButton);
        QCOMPARE(w->VDiskRows->rowCount(), 0);
        QCOMPARE(w->imageMount().VDiskState(), 1);
        w->close();
        w.reset();

        QCOMPARE(run(fsck, {"-n", image}, &out), 0);
        QCOMPARE(run(mdir, {"-i", image, "-b", "::"}, &out), 0);
        QCOMPARE(out.trimmed(), QByteArray());
        QCOMPARE(QFileInfo(image).size(), qint64(2048 * 1024));

        if (oldConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig);
    }
};

QTEST_MAIN(VDiskE2ETest)
#include "VDiskE2ETest.moc"
