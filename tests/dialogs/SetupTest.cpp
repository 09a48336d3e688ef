#include "dialogs/setup.h"
#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "MemoryProfileFiles.h"
#include "ScriptedPrompter.h"
#include "app/LanguageTable.h"
#include "app/SettingsFile.h"
#include "app/main.h"
#include "widgets/FileListView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

using namespace vexo;

namespace
{

const QString Ini = QStringLiteral("/cfg/VexoFile.ini");

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

// The main window with the device connection counted instead of started.
class ProbeFormMain : public TFormMain
{
public:
    using TFormMain::TFormMain;
    int refreshes = 0;
    void RefreshRpc() override { ++refreshes; }
};

// Runs `act` on the setup dialog once it is open modally and counts it in
// *opened; gives up after two seconds.
void whenSetupOpens(int *opened, std::function<void(TFormSetup *)> act)
{
    auto *poll = new QTimer;
    auto *limit = new QElapsedTimer;
    limit->start();
    QObject::connect(poll, &QTimer::timeout, [poll, limit, opened, act] {
        auto *dialog = qobject_cast<TFormSetup *>(QApplication::activeModalWidget());
        if (dialog == nullptr && limit->elapsed() < 2000)
            return;
        poll->stop();
        poll->deleteLater();
        delete limit;
        if (dialog != nullptr) {
            ++*opened;
            act(dialog);
        }
    });
    poll->start(10);
}

} // namespace

class SetupTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::MemoryProfileFiles> m_files;
    std::unique_ptr<SettingsFile> m_file;
    std::unique_ptr<test::ScriptedPrompter> m_prompter;
    LanguageTable m_language;
    Settings m_settings;
    QStringList m_errors;

    std::unique_ptr<TFormSetup> dialog()
    {
        return std::make_unique<TFormSetup>(m_settings, m_language, *m_file, *m_files, *m_prompter);
    }

private slots:
    void init()
    {
        m_files = std::make_unique<test::MemoryProfileFiles>();
        m_file = std::make_unique<SettingsFile>(*m_files, Ini);
        m_file->setErrorHandler([this](const QString &message) { m_errors << message; });
        m_prompter = std::make_unique<test::ScriptedPrompter>();
        m_language = LanguageTable();
        m_settings = Settings();
        m_errors.clear();
    }

    void startFolderChoiceShownAndStored_data()
    {
        QTest::addColumn<bool>("pathed");
        QTest::addColumn<bool>("lastPath");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QStringList>("stored");
        const QStringList none{"Pathed=0", "Path=", "LastPath=0"};
        QTest::newRow("fixed, then default") << true << false << "RB_Local"
                                             << "RB_No" << none;
        QTest::newRow("fixed kept") << true << false << "RB_Local"
                                    << "" << QStringList{"Pathed=1", "Path=/data/x", "LastPath=0"};
        QTest::newRow("both stored show last") << true << true << "RB_LastPath"
                                               << "" << QStringList{"Pathed=0", "Path=", "LastPath=1"};
        QTest::newRow("default, then last")
            << false << false << "RB_No"
            << "RB_LastPath" << QStringList{"Pathed=0", "Path=", "LastPath=1"};
    }
    void startFolderChoiceShownAndStored()
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
        QTest::mouseClick(d->butApply, Qt::LeftButton);
        QCOMPARE(settingLines(m_files->content(Ini)).mid(7), stored);
        QCOMPARE(m_settings.Path, stored[1].mid(5));
    }

    void applyWithNothingChangedWritesAllTenInOrder()
    {
        m_files->setContent(Ini, "[Setting]\nLanguage=eng.lng\n");
        m_settings.ViewMode = 3;
        auto d = dialog();
        QCOMPARE(d->windowTitle(), QStringLiteral("Setup"));
        QCOMPARE(d->butApply->text(), QStringLiteral("Ok"));
        QCOMPARE(d->ckAutoRpc->text(), QStringLiteral("Auto connect palmtop disk while lunch"));
        QVERIFY(d->CB_ViewStyle->isChecked());
        d->butApplyClick();
        QCOMPARE(
            settingLines(m_files->content(Ini)),
            (QStringList{"Language=eng.lng", "Comport=1", "Baudrate=115200", "Compress=1", "AutoRpc=1",
                         "AutoVDisk=1", "GridLines=0", "ViewStyle=3", "Pathed=0", "Path=", "LastPath=0"}));
        QCOMPARE(d->SetupCancelled, false);
        QCOMPARE(d->result(), int(QDialog::Accepted));
    }

    void changedValuesAreStored()
    {
        m_settings.ViewMode = 2;
        m_settings.Compress = 2; // only 1 shows ticked
        auto d = dialog();
        QVERIFY(!d->ckCompress->isChecked());
        d->CB_ViewStyle->setChecked(false);
        d->cbComport->setCurrentIndex(0);
        d->cbBaudrate->setCurrentIndex(2);
        d->CB_GridLines->setChecked(true);
        d->ckAutoVDisk->setChecked(false);
        d->butApplyClick();
        QCOMPARE(settingLines(m_files->content(Ini)).mid(0, 7),
                 (QStringList{"Comport=0", "Baudrate=38400", "Compress=0", "AutoRpc=1", "AutoVDisk=0",
                              "GridLines=1", "ViewStyle=0"}));
        QCOMPARE(m_settings.ViewMode, 0);
    }

    void unknownPortAndSpeedShowNoSelectionAndAreKept()
    {
        m_settings.Comport = 15;
        m_settings.Baudrate = 4800;
        auto d = dialog();
        QCOMPARE(d->cbComport->currentIndex(), -1);
        QCOMPARE(d->cbBaudrate->currentIndex(), -1);
        d->butApplyClick();
        QCOMPARE(settingLines(m_files->content(Ini)).mid(0, 2), (QStringList{"Comport=15", "Baudrate=4800"}));
        QCOMPARE(m_settings.Baudrate, 4800);
    }

    void cancelEscapeAndCloseBoxStoreNothing()
    {
        const std::function<void(TFormSetup *)> ways[] = {
            [](TFormSetup *d) { QTest::mouseClick(d->butClose, Qt::LeftButton); },
            [](TFormSetup *d) { QTest::keyClick(d, Qt::Key_Escape); },
            [](TFormSetup *d) { d->close(); },
        };
        for (const auto &end : ways) {
            auto d = dialog();
            d->show();
            d->RB_LastPath->setChecked(true);
            d->cbComport->setCurrentIndex(4);
            end(d.get());
            QVERIFY(!d->isVisible());
            QVERIFY(d->SetupCancelled);
            QCOMPARE(m_files->writeCount(), 0);
            QCOMPARE(m_settings.Comport, 1);
            QVERIFY(!m_settings.LastPath);
        }
    }

    void browsePutsThePickedFolderInTheEdit()
    {
        auto d = dialog();
        d->edtPath->setText(QStringLiteral("/old"));
        m_prompter->answerFolder(QStringLiteral("/home/u/docs"));
        QTest::mouseClick(d->FlatButton1, Qt::LeftButton);
        QCOMPARE(d->edtPath->text(), QStringLiteral("/home/u/docs"));
        QVERIFY(!d->RB_Local->isChecked());
        d->FlatButton1Click(); // cancelled
        QCOMPARE(d->edtPath->text(), QStringLiteral("/home/u/docs"));
        QCOMPARE(m_prompter->texts(), (QStringList{"选择初始本地文件夹:", "选择初始本地文件夹:"}));
        QCOMPARE(d->FlatButton1->toolTip(), QStringLiteral("Browse"));
    }

    void failedWriteIsReportedOnceAndValuesStay()
    {
        m_files->setFailWrites(true);
        auto d = dialog();
        d->cbComport->setCurrentIndex(0);
        d->butApplyClick();
        QCOMPARE(m_errors, QStringList{"Unable to write to " + Ini});
        QCOMPARE(m_settings.Comport, 0);
        QVERIFY(!d->SetupCancelled);
    }

    void portToolTipsShowDeviceNodes()
    {
        m_files->setContent(Ini, "[Ports]\nCOM1=/dev/ttyUSB0\n");
        auto d = dialog();
        QCOMPARE(d->cbComport->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(d->cbComport->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(d->cbComport->itemData(10, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyS9"));
        QVERIFY(d->cbComport->toolTip().contains(QStringLiteral("COM1: /dev/ttyUSB0")));
    }
};

// The dialog opened from the main window.
class SetupFromMainTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::MemoryProfileFiles> m_files;
    std::unique_ptr<test::FakeSystemPaths> m_paths;
    std::unique_ptr<test::ScriptedPrompter> m_prompter;
    std::unique_ptr<test::FakeDesktopShell> m_shell;
    QString m_ini;
    int opened = 0; // setup dialogs seen open

    std::unique_ptr<ProbeFormMain> open()
    {
        auto w = std::make_unique<ProbeFormMain>(
            PlatformServices{m_files.get(), m_paths.get(), m_prompter.get(), m_shell.get()});
        w->show();
        return w;
    }
    static bool gridLines(ProbeFormMain &w, bool on)
    {
        return w.ShellList->gridLines() == on && w.RpcList->gridLines() == on &&
               w.VDiskList->gridLines() == on;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_files = std::make_unique<test::MemoryProfileFiles>();
        m_paths = std::make_unique<test::FakeSystemPaths>(m_dir->path() + "/", m_dir->path() + "/");
        m_prompter = std::make_unique<test::ScriptedPrompter>();
        m_shell = std::make_unique<test::FakeDesktopShell>();
        m_ini = m_dir->path() + "/VexoFile.ini";
        opened = 0;
    }

    void cancelAndCloseBoxChangeNothing()
    {
        auto w = open();
        const QByteArray before = m_files->content(m_ini);
        whenSetupOpens(&opened, [](TFormSetup *d) {
            d->CB_GridLines->setChecked(true);
            QTest::mouseClick(d->butClose, Qt::LeftButton);
        });
        QTest::keyClick(w.get(), Qt::Key_F8);
        whenSetupOpens(&opened, [](TFormSetup *d) {
            d->CB_GridLines->setChecked(true);
            d->close();
        });
        QTest::mouseClick(w->TB_Setup, Qt::LeftButton);
        QCOMPARE(opened, 2);
        QCOMPARE(m_files->content(m_ini), before);
        QCOMPARE(w->refreshes, 0);
        QVERIFY(gridLines(*w, false));
    }

    void applyStoresReconnectsAndSetsGridLinesOnAllLists()
    {
        m_files->setContent(m_ini, "[Setting]\nGridLines=1\n");
        auto w = open();
        QVERIFY(gridLines(*w, true));
        const int writes = m_files->writeCount();
        whenSetupOpens(&opened, [](TFormSetup *d) {
            d->CB_GridLines->setChecked(false);
            d->butApply->click();
        });
        QTest::mouseClick(w->TB_Setup, Qt::LeftButton);
        QCOMPARE(opened, 1);
        QVERIFY(gridLines(*w, false));
        QCOMPARE(m_files->writeCount() - writes, 10);
        QVERIFY(m_files->content(m_ini).contains("AutoVDisk=1"));
        QCOMPARE(w->refreshes, 1);
    }

    void failedWriteShowsTheMessageAndKeepsTheNewValues()
    {
        auto w = open();
        m_files->setFailWrites(true);
        whenSetupOpens(&opened, [](TFormSetup *d) {
            d->CB_GridLines->setChecked(true);
            d->butApply->click();
        });
        QTest::mouseClick(w->TB_Setup, Qt::LeftButton);
        QCOMPARE(opened, 1);
        QCOMPARE(m_prompter->texts(), QStringList{"Unable to write to " + m_ini});
        QVERIFY(w->settings.GridLines);
        QVERIFY(gridLines(*w, true));
        QCOMPARE(w->refreshes, 1);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int status = 0;
    {
        SetupTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        SetupFromMainTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}

#include "SetupTest.moc"
