#include "dialogs/setup.h"
#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "MemoryProfileFiles.h"
#include "ModalWatchdog.h"
#include "OnModal.h"
#include "RealKeys.h"
#include "RecordingDeviceLink.h"
#include "ScriptedPrompter.h"
#include "app/PaneMenus.h"
#include "app/main.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "engine/SettingsFile.h"
#include "local/LocalPane.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

using namespace vexo;

namespace
{

// The [Setting] entries of a file, in file order, as "key=value".
QStringList settingLines(const QByteArray &content)
{
    QStringList out;
    bool inSetting = false;
    for (const QString &line : QString::fromUtf8(content).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('[')))
            inSetting = line.trimmed() == QStringLiteral("[Setting]");
        else if (inSetting)
            out << line.trimmed();
    }
    return out;
}

} // namespace

class SetupTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    test::FakeSystemPaths m_paths{m_dir.path() + "/", m_dir.path() + "/"};
    test::FakeDesktopShell m_shell;
    const QString m_ini = m_dir.path() + "/VexoFile.ini";
    // Fresh for each test.
    std::unique_ptr<test::MemoryProfileFiles> m_files;
    std::unique_ptr<test::ScriptedPrompter> m_prompter;
    std::unique_ptr<test::RecordingDeviceLink> m_link;
    std::unique_ptr<SettingsFile> m_file;
    LanguageTable m_language;
    Settings m_settings;
    int m_opened = 0;

    std::unique_ptr<TFormSetup> dialog()
    {
        return std::make_unique<TFormSetup>(m_settings, m_language, *m_file, *m_files, *m_prompter);
    }
    std::unique_ptr<TFormMain> window(const QByteArray &setting)
    {
        m_files->setContent(m_ini, "[Setting]\nAutoVDisk=0\n" + setting);
        auto w = std::make_unique<TFormMain>(
            PlatformServices{m_files.get(), &m_paths, m_prompter.get(), &m_shell, m_link.get()});
        w->show();
        return w;
    }
    // Opens the dialog from the toolbar and lets `act` end it.
    void runSetup(TFormMain *w, std::function<void(TFormSetup *)> act)
    {
        test::ModalWatchdog watchdog(25000);
        test::OnModal<TFormSetup> driver([&](TFormSetup &d) {
            ++m_opened;
            act(&d);
        });
        QTest::mouseClick(w->TB_Setup, Qt::LeftButton);
        QVERIFY2(!watchdog.fired(), watchdog.report());
    }
    static bool gridLines(TFormMain *w, bool on)
    {
        return w->ShellList->gridLines() == on && w->RpcList->gridLines() == on &&
               w->VDiskList->gridLines() == on;
    }
    static bool waitIdle(TFormMain *w)
    {
        return QTest::qWaitFor([w] { return !w->devicePane->attemptRunning(); }, 5000);
    }

private slots:
    void init()
    {
        m_files = std::make_unique<test::MemoryProfileFiles>();
        m_prompter = std::make_unique<test::ScriptedPrompter>();
        m_link = std::make_unique<test::RecordingDeviceLink>();
        m_file = std::make_unique<SettingsFile>(*m_files, m_ini);
        m_settings = Settings();
        m_opened = 0;
    }

    void startFolderChoice_data()
    {
        QTest::addColumn<bool>("pathed");
        QTest::addColumn<bool>("lastPath");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("fixed to default") << true << false << "RB_Local"
                                          << "RB_No" << QStringList{"Pathed=0", "Path=", "LastPath=0"};
        QTest::newRow("fixed kept") << true << false << "RB_Local"
                                    << "" << QStringList{"Pathed=1", "Path=/data/x", "LastPath=0"};
        QTest::newRow("both stored show last") << true << true << "RB_LastPath"
                                               << "" << QStringList{"Pathed=0", "Path=", "LastPath=1"};
        QTest::newRow("default to last") << false << false << "RB_No"
                                         << "RB_LastPath" << QStringList{"Pathed=0", "Path=", "LastPath=1"};
    }
    void startFolderChoice()
    {
        QFETCH(bool, pathed);
        QFETCH(bool, lastPath);
        QFETCH(QString, shown);
        QFETCH(QString, choose);
        QFETCH(QStringList, stored);
        m_settings.Pathed = pathed;
        m_settings.LastPath = lastPath;
        m_settings.Path = QStringLiteral("/data/x");
        auto d = dialog();
        QVERIFY(d->findChild<QRadioButton *>(shown)->isChecked());
        QCOMPARE(d->edtPath->text(), pathed ? m_settings.Path : QString());
        if (!choose.isEmpty())
            d->findChild<QRadioButton *>(choose)->setChecked(true);
        d->butApplyClick();
        QCOMPARE(settingLines(m_files->content(m_ini)).mid(7, 3), stored);
        QCOMPARE(m_settings.Path, stored[1].mid(5));
    }

    void aStartFolderThatIsNotThereIsRefused()
    {
        QTemporaryDir there;
        m_settings.Pathed = true;
        m_settings.Path = there.path();
        auto d = dialog();
        d->edtPath->setText(there.path() + "/not-there");
        d->butApplyClick();
        QCOMPARE(m_prompter->questions().size(), 1);
        QVERIFY(m_prompter->questions()[0].text.contains(there.path() + "/not-there"));
        QCOMPARE(d->edtPath->text(), there.path());
        QVERIFY(m_files->content(m_ini).isEmpty());
        QCOMPARE(m_settings.Path, there.path());
        // A folder that is there is taken.
        QDir(there.path()).mkdir("sub");
        d->edtPath->setText(there.path() + "/sub");
        d->butApplyClick();
        QCOMPARE(m_settings.Path, there.path() + "/sub");
    }

    void applyWithNothingChangedWritesEveryEntryInOrder()
    {
        m_files->setContent(m_ini, "[Setting]\nLanguage=eng.lng\n");
        m_settings.ViewMode = 3;
        auto d = dialog();
        QCOMPARE(d->ckAutoRpc->text(), QStringLiteral("Auto connect palmtop disk at launch"));
        QCOMPARE(d->butApply->text(), QStringLiteral("&Ok"));
        // No empty band under the buttons: they end a margin above the bottom.
        QCOMPARE(d->height() - d->butClose->geometry().bottom() - 1, 11);
        d->butApplyClick();
        QCOMPARE(settingLines(m_files->content(m_ini)),
                 (QStringList{"Language=eng.lng", "Comport=1", "Baudrate=115200", "Compress=1", "AutoRpc=1",
                              "AutoVDisk=1", "GridLines=0", "ViewStyle=3", "Pathed=0", "Path=", "LastPath=0",
                              "ReconnectSeconds=30"}));
        QVERIFY(!d->SetupCancelled);
    }

    void unknownPortAndSpeedAreKeptAndViewStyleCleared()
    {
        m_settings.Comport = 15;
        m_settings.Baudrate = 4800;
        m_settings.ViewMode = 2;
        m_settings.Compress = 2; // only 1 shows ticked
        auto d = dialog();
        QCOMPARE(d->cbComport->currentIndex(), -1);
        QCOMPARE(d->cbBaudrate->currentIndex(), -1);
        d->CB_ViewStyle->setChecked(false);
        d->sbReconnect->setValue(5);
        d->butApplyClick();
        QCOMPARE(m_settings.ReconnectSeconds, 5);
        QVERIFY(m_files->content(m_ini).contains("ReconnectSeconds=5"));
        QCOMPARE(settingLines(m_files->content(m_ini)).mid(0, 7),
                 (QStringList{"Comport=15", "Baudrate=4800", "Compress=0", "AutoRpc=1", "AutoVDisk=1",
                              "GridLines=0", "ViewStyle=0"}));
    }

    void browseAndPortNodes()
    {
        m_files->setContent(m_ini, "[Ports]\nCOM1=/dev/ttyUSB0\n");
        auto d = dialog();
        m_prompter->answerFolder(QStringLiteral("/home/u/docs"));
        QTest::mouseClick(d->FlatButton1, Qt::LeftButton);
        d->FlatButton1Click(); // cancelled: the text stays
        QCOMPARE(d->edtPath->text(), QStringLiteral("/home/u/docs"));
        QVERIFY(!d->RB_Local->isChecked());
        QCOMPARE(m_prompter->texts(), (QStringList{"Choose the start folder:", "Choose the start folder:"}));
        QCOMPARE(d->cbComport->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(d->cbComport->itemData(10, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyS9"));
        QVERIFY(d->cbComport->toolTip().contains(QStringLiteral("COM1: /dev/ttyUSB0")));
    }

    void cancelAndCloseBoxChangeNothing()
    {
        auto w = window("AutoRpc=0\n");
        const QByteArray before = m_files->content(m_ini);
        runSetup(w.get(), [](TFormSetup *d) {
            d->CB_GridLines->setChecked(true);
            QTest::mouseClick(d->butClose, Qt::LeftButton);
        });
        runSetup(w.get(), [](TFormSetup *d) {
            d->cbComport->setCurrentIndex(0);
            d->close();
        });
        QCOMPARE(m_opened, 2);
        QCOMPARE(m_files->content(m_ini), before);
        QCOMPARE(m_link->log(), QStringList());
        QVERIFY(gridLines(w.get(), false));
    }

    // F8, the speed changed with the keyboard, then one click on OK: the
    // dialog is gone and does not come back; Escape cancels.
    void f8OpensTheDialogOnceAndOneClickEndsIt_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::addRow("OK") << false;
        QTest::addRow("Escape") << true;
    }
    void f8OpensTheDialogOnceAndOneClickEndsIt()
    {
        QFETCH(bool, escape);
        auto w = window("AutoRpc=0\nBaudrate=115200\n");
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->RpcList->currentView()->setFocus();
        QTRY_VERIFY(w->RpcList->hasFocusInside());
        const QByteArray before = m_files->content(m_ini);

        test::RealKeys keys;
        test::ModalWatchdog watchdog(20000);
        int shown = 0;
        // Keys and clicks go to the dialog only once it is up and takes them:
        // on a busy machine it shows a while after F8.
        test::OnModal<TFormSetup> driver([&](TFormSetup &d) {
            if (++shown > 1) {
                d.reject();
                return;
            }
            keys.release(Qt::Key_F8);
            d.cbBaudrate->setFocus();
            keys.click(Qt::Key_Up);
            if (escape)
                keys.click(Qt::Key_Escape);
            else
                QTest::mouseClick(d.butApply, Qt::LeftButton);
        });
        keys.press(Qt::Key_F8);
        QTRY_COMPARE_WITH_TIMEOUT(shown, 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() == nullptr, 25000);
        QVERIFY2(!watchdog.fired(), "the dialog stayed open after its one click");
        QTest::qWait(100);
        QCOMPARE(shown, 1);
        if (escape) {
            QCOMPARE(m_files->content(m_ini), before);
            QCOMPARE(w->settings.Baudrate, 115200);
        } else {
            QVERIFY(m_files->content(m_ini).contains("Baudrate=57600"));
        }
    }

    void applyReconnectsOnTheNewPortAndSetsGridLines()
    {
        auto w = window("AutoRpc=1\nComport=1\nGridLines=1\n");
        QVERIFY(waitIdle(w.get()) && w->deviceSession().RpcConnected());
        QVERIFY(gridLines(w.get(), true));
        m_link->clearLog();
        runSetup(w.get(), [](TFormSetup *d) {
            d->cbComport->setCurrentIndex(0);
            d->CB_GridLines->setChecked(false);
            d->butApply->click();
        });
        QVERIFY(gridLines(w.get(), false));
        QVERIFY(QTest::qWaitFor([&] { return w->deviceSession().RpcConnected(); }, 5000) &&
                waitIdle(w.get()));
        const QStringList log = m_link->logWithoutListing();
        QCOMPARE(log.mid(0, 6),
                 (QStringList{"CloseConnection(101)", "CloseConnection(101)", "UnInitVexoFileClient(101)",
                              "CloseUartPipe(1)", "UnInitUartPipe(1)", "InitUSBPipe()"}));
        QVERIFY(m_files->content(m_ini).contains("Comport=0"));
    }

    void failedCloseDoesNotReconnect()
    {
        auto w = window("AutoRpc=0\n");
        m_link->script(QStringLiteral("CloseConnection"), 1);
        runSetup(w.get(), [](TFormSetup *d) { d->butApply->click(); });
        QVERIFY(waitIdle(w.get()));
        QCOMPARE(m_link->log(), QStringList{"CloseConnection(0)"});
    }

    void failedWriteShowsTheMessageOnceAndKeepsTheNewValues()
    {
        auto w = window("AutoRpc=0\n");
        m_files->setFailWrites(true);
        runSetup(w.get(), [](TFormSetup *d) {
            d->CB_GridLines->setChecked(true);
            d->butApply->click();
        });
        QCOMPARE(m_prompter->texts(), QStringList{"Unable to write to " + m_ini});
        QVERIFY(w->settings.GridLines && gridLines(w.get(), true));
        QVERIFY(waitIdle(w.get()));
        QCOMPARE(m_link->calls("ConnectServer").size(), 1);
    }

    void languageIsChosenByNameAndTakesEffectAtApply()
    {
        const QString folder = m_dir.path() + "/";
        m_files->setContent(folder + "eng.lng",
                            "[Language]\nName=English\nLocale=en\n[Other]\nRpcPanel=Palmtop\n");
        m_files->setContent(folder + "chs.lng",
                            "[Language]\nName=简体中文\nLocale=zh_CN\n"
                            "[ToolBar]\nCopy=复制\n[Other]\nRpcPanel=掌上机\n"
                            "DisConnect=未连接\nFilename=文件名\n[Window]\nComputer=我的电脑\n"
                            "[Menu]\nOpen=打开\n[Sync]\nSynchronize=同步\n");
        auto w = window("AutoRpc=0\nLanguage=eng.lng\n");
        QCOMPARE(w->PRpcStatus->text(), QStringLiteral("Palmtop - DisConnect"));
        QCOMPARE(w->PLeft->currentPathText(), QStringLiteral("Computer"));

        // Cancel keeps the language; the list shows the files by their own names.
        runSetup(w.get(), [](TFormSetup *d) {
            QStringList names;
            for (int i = 0; i < d->cbLanguage->count(); ++i)
                names << d->cbLanguage->itemText(i);
            QCOMPARE(names, QStringList({"English", QStringLiteral("简体中文")}));
            QCOMPARE(d->cbLanguage->currentText(), QStringLiteral("English"));
            d->cbLanguage->setCurrentIndex(1);
            d->butClose->click();
        });
        QCOMPARE(w->TB_Copy->toolTip(), QStringLiteral("Copy (Ctrl+C)"));

        runSetup(w.get(), [](TFormSetup *d) {
            d->cbLanguage->setCurrentIndex(1);
            d->butApply->click();
        });
        QVERIFY(settingLines(m_files->content(m_ini)).contains(QStringLiteral("Language=chs.lng")));
        QVERIFY(waitIdle(w.get()));
        QCOMPARE(w->TB_Copy->toolTip(), QStringLiteral("复制 (Ctrl+C)"));
        QCOMPARE(w->TB_Sync->toolTip(), QStringLiteral("同步 (F9)"));
        // The context menus are made afresh from the table each time.
        const std::unique_ptr<QMenu> menu(w->findChild<PaneMenus *>()->buildMenu(w->ShellList));
        QStringList entries;
        for (const QAction *action : menu->actions())
            entries << action->text().section(u'\t', 0, 0);
        QVERIFY(entries.contains(QStringLiteral("打开")));
        QVERIFY(entries.contains(QStringLiteral("同步")));
        QVERIFY(w->PRpcStatus->text().startsWith(QStringLiteral("掌上机 - ")));
        QCOMPARE(w->RpcList->header()->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("文件名"));
        QCOMPARE(w->ShellList->header()->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("文件名"));
        QCOMPARE(w->PLeft->currentPathText(), QStringLiteral("我的电脑"));
        // The toolkit's own buttons follow (qt6-translations-l10n).
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    }
};

QTEST_MAIN(SetupTest)
#include "SetupTest.moc"
