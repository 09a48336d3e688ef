// Synchronize in the real main window on the recording device: the key opens
// the preview, the person's choices decide what runs, deletions are confirmed
// once more, and the run goes through the transfer worker without replace
// questions.
#include "MemoryVDiskLibrary.h"
#include "OnModal.h"
#include "TransferTestSupport.h"
#include "local/LocalPane.h"
#include "sync/SyncRecord.h"
#include "transfer/TFormSync.h"
#include "widgets/FileListView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

using namespace vexo;
using test::ModalDriver;

namespace
{

class SyncTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TransferFixture> m_fx;
    std::unique_ptr<TFormMain> m_w;
    std::unique_ptr<ModalDriver> m_driver;
    std::unique_ptr<QTemporaryDir> m_data; // the records of the synchronisations

    // Presses F9 on the device list and lets `choose` act on the preview
    // before it is started (or not, when it returns false), each time it
    // shows (again after a deletion was not confirmed).
    void synchronize(const std::function<bool(TFormSync &)> &choose, FileListView *list = nullptr)
    {
        test::OnModal<TFormSync> driver([&](TFormSync &preview) {
            if (choose(preview))
                preview.butStart->click();
            else
                preview.butCancel->click();
        });
        list = list ? list : m_w->RpcList;
        list->setFocus();
        QTest::keyClick(list, Qt::Key_F9);
        QTRY_VERIFY(driver.shown() > 0); // the preview opens once the key has been delivered
    }
    static QTreeWidgetItem *row(TFormSync &preview, const QString &name)
    {
        const auto found = preview.SyncList->findItems(name, Qt::MatchExactly, 0);
        return found.isEmpty() ? nullptr : found.first();
    }
    QStringList calls(const QString &call) const
    {
        QStringList out;
        for (QString line : m_fx->link.calls(call))
            out << line.remove(m_fx->pcPath(QString()));
        return out;
    }

private slots:
    void init()
    {
        m_data = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", m_data->path().toUtf8());
        m_fx = std::make_unique<test::TransferFixture>();
        m_fx->pcFile("stock.dat", "stock, edited today");
        m_fx->pcFile("prices.dat", "new prices");
        m_fx->pcFile("much-too-long-name.dat", "x");
        // The device's copies date from 1970: older than anything on the PC.
        m_fx->link.setFiles({{"STOCK.DAT", 10, 5}, {"day.rec", 10, 700}});
        m_w = m_fx->open();
        m_w->show();
        m_w->PLeft->showFolder(m_fx->pcPath(QString()));
        m_driver = std::make_unique<ModalDriver>();
    }
    void cleanup()
    {
        QCOMPARE(m_driver->dialogs, 0); // decided in the preview: never a replace question
        m_driver.reset();
        m_w.reset();
        m_fx.reset();
    }

    void previewShowsEachFileAndOnlyTickedRowsRun()
    {
        synchronize([&](TFormSync &preview) {
            [&] {
                QVERIFY(preview.RB_Both->isChecked());
                QVERIFY(!preview.CB_Delete->isChecked() && !preview.CB_Delete->isEnabled());
                QCOMPARE(preview.SyncList->topLevelItemCount(), 4);
                // One file whatever the case; a name the palmtop cannot hold is a conflict, unticked.
                QCOMPARE(row(preview, "stock.dat / STOCK.DAT")->text(1), QStringLiteral("Send"));
                QCOMPARE(row(preview, "day.rec")->text(1), QStringLiteral("Receive"));
                QTreeWidgetItem *tooLong = row(preview, "much-too-long-name.dat");
                QCOMPARE(tooLong->text(1), QStringLiteral("Conflict"));
                QCOMPARE(tooLong->text(4), QStringLiteral("Name longer than 16 bytes"));
                QVERIFY(!(tooLong->flags() & Qt::ItemIsUserCheckable));
                QVERIFY(preview.labTotals->text().startsWith(
                    QStringLiteral("Send 2 files (29 bytes), receive 1 files (700 bytes), delete 0; 0 equal, "
                                   "1 conflicts. About ")));
                QVERIFY(preview.labTotals->text().endsWith(QStringLiteral(" at 115200 baud")));
                row(preview, "prices.dat")->setCheckState(0, Qt::Unchecked);
                QVERIFY(preview.labTotals->text().startsWith(QStringLiteral("Send 1 files (19 bytes)")));
            }();
            return true;
        });
        // The device's own spelling is kept; the unticked file stays where it was.
        QCOMPARE(calls("RequestSendFileEx"), (QStringList{"RequestSendFileEx(101,stock.dat,STOCK.DAT,1)"}));
        QCOMPARE(calls("RequestReceiveFileEx"), (QStringList{"RequestReceiveFileEx(101,day.rec,day.rec,1)"}));
        QCOMPARE(test::TransferFixture::read(m_fx->pcPath("day.rec")), QByteArray("data of day.rec"));
        QVERIFY(calls("RequestDeleteFile").isEmpty());
    }

    void deletesOnlyWhenTickedWithTheFilesListed()
    {
        m_fx->prompter.answer(PromptAnswer::Yes);
        synchronize([&](TFormSync &preview) {
            preview.RB_ToRemote->click();
            [&] {
                QVERIFY(preview.CB_Delete->isEnabled() && !preview.CB_Delete->isChecked());
                QCOMPARE(row(preview, "day.rec")->text(1), QStringLiteral("Keep"));
                preview.CB_Delete->click();
                QCOMPARE(row(preview, "day.rec")->text(1), QStringLiteral("Delete from the palmtop"));
                QCOMPARE(row(preview, "day.rec")->checkState(0), Qt::Checked);
                // Deletions come first, under a heading naming the side.
                QCOMPARE(preview.SyncList->topLevelItem(0)->text(0),
                         QStringLiteral("To be deleted from the palmtop"));
                QCOMPARE(preview.SyncList->topLevelItem(1), row(preview, "day.rec"));
                QCOMPARE(preview.SyncList->topLevelItem(2)->text(0), QStringLiteral("Other files"));
            }();
            return true;
        });
        // Asked once more before anything is deleted.
        QCOMPARE(m_fx->prompter.texts().last(),
                 QStringLiteral("0 files will be deleted from the PC and 1 from the palmtop. Delete them?"));
        QCOMPARE(calls("RequestDeleteFile"), (QStringList{"RequestDeleteFile(101,day.rec)"}));
        QCOMPARE(calls("RequestSendFileEx").size(), 2);
        QVERIFY(calls("RequestReceiveFileEx").isEmpty());
        QVERIFY(QFileInfo::exists(m_fx->pcPath("much-too-long-name.dat")));

        // Cancelling the preview moves and deletes nothing.
        m_fx->link.clearLog();
        synchronize([](TFormSync &) { return false; });
        QVERIFY(m_fx->link.logWithoutListing().isEmpty());
    }

    void aStoppedRunDeletesNothing()
    {
        m_fx->link.makeSlow("STOCK.DAT");
        m_driver->whileRunning([](TFormDoProcess &form) {
            // Stopped in the middle of the slow file.
            const int progress = form.worker() ? form.worker()->Progress.load() : 0;
            if (progress <= 0 || progress >= 100)
                return false;
            form.butCancel->click();
            return true;
        });
        m_fx->prompter.answer(PromptAnswer::Yes);
        synchronize([](TFormSync &preview) {
            preview.RB_ToRemote->click();
            preview.CB_Delete->click();
            return true;
        });
        QVERIFY(m_fx->link.stopSeen());
        QVERIFY(calls("RequestDeleteFile").isEmpty());
        QVERIFY(m_fx->link.fileNames().contains("day.rec"));
    }

    // With the image's pane focused: the image's own 17-byte limit, the
    // content compared by reading the image, copies on the window thread.
    void theImageWhenItsPaneHasTheFocus()
    {
        test::MemoryVDiskLibrary image;
        PlatformServices s{&m_fx->files, &m_fx->paths, &m_fx->prompter, &m_fx->shell, &m_fx->link};
        s.vdisk = &image;
        s.registry = &m_fx->registry;
        m_w.reset();
        m_w = std::make_unique<TFormMain>(s);
        m_w->show();
        m_w->PLeft->showFolder(m_fx->pcPath(QString()));
        test::TransferFixture::mountImage(*m_w);
        m_fx->pcFile("seventeen-bytes.a", "fits the image");
        image.addFile("stock.dat", "stock, edited today", 10); // copied long ago: same content, older time
        image.addFile("notes.txt", "gone from the PC");
        image.clearCalls();
        m_fx->link.clearLog(); // the first window's release of the link
        m_fx->prompter.answer(PromptAnswer::Yes);
        synchronize(
            [&](TFormSync &preview) {
                preview.RB_ToRemote->click();
                preview.CB_Delete->click();
                [&] {
                    QCOMPARE(preview.SyncList->headerItem()->text(3), QStringLiteral("Simulator disk"));
                    QCOMPARE(row(preview, "stock.dat")->text(1), QStringLiteral("Skip: equal"));
                    QCOMPARE(row(preview, "seventeen-bytes.a")->text(1), QStringLiteral("Send"));
                    QCOMPARE(row(preview, "much-too-long-name.dat")->text(4),
                             QStringLiteral("Name longer than 17 bytes"));
                    QCOMPARE(row(preview, "notes.txt")->text(1),
                             QStringLiteral("Delete from the simulator disk"));
                }();
                return true;
            },
            m_w->VDiskList);
        QCOMPARE(image.content("prices.dat"), std::optional<QByteArray>("new prices"));
        QCOMPARE(image.content("seventeen-bytes.a"), std::optional<QByteArray>("fits the image"));
        QCOMPARE(image.content("notes.txt"), std::nullopt);
        QVERIFY(!image.content("much-too-long-name.dat"));
        QVERIFY(m_fx->link.logWithoutListing().isEmpty());
        m_w.reset(); // before the image it uses
    }

    // With the record of an earlier synchronisation: a file changed on both
    // sides is a conflict the preview settles, a file deleted from the PC is
    // deleted from the palmtop both ways, once confirmed; a new record is kept.
    void aRecordMakesConflictsThePreviewSettlesAndDeletionsBothWays()
    {
        SyncRecord record(QDir(m_fx->pcPath(QString())).canonicalPath().toStdString(), "port:COM1");
        record.put({"stock.dat", 4, 1, 1, "crc32:00000000"});  // both copies changed since
        record.put({"day.rec", 700, 5, 10, "crc32:00000000"}); // gone from the PC since
        const std::string path = record.pathIn(SyncRecord::DataFolder());
        QCOMPARE(record.save(path), 0);
        m_fx->prompter.answer(PromptAnswer::No);
        m_fx->prompter.answer(PromptAnswer::Yes);
        int shown = 0;
        synchronize([&](TFormSync &preview) {
            ++shown;
            [&] {
                QVERIFY(preview.RB_Both->isChecked() && preview.CB_Delete->isEnabled());
                QVERIFY(preview.labRecord->isHidden());
                if (shown == 1)
                    preview.CB_Delete->click();
                QCOMPARE(row(preview, "day.rec")->text(1), QStringLiteral("Delete from the palmtop"));
                QCOMPARE(row(preview, "day.rec")->text(4),
                         QStringLiteral("Deleted from the PC since the last synchronization"));
                QTreeWidgetItem *stock = row(preview, "stock.dat / STOCK.DAT");
                QCOMPARE(stock->text(4), QStringLiteral("Changed on both sides"));
                auto *settle = qobject_cast<QComboBox *>(preview.SyncList->itemWidget(stock, 1));
                QVERIFY(settle);
                if (shown == 1) {
                    QCOMPARE(settle->currentText(), QStringLiteral("Skip (conflict)"));
                    QVERIFY(preview.labTotals->text().contains(QStringLiteral("2 conflicts")));
                    settle->setCurrentIndex(settle->findText(QStringLiteral("Send")));
                }
                QVERIFY(preview.labTotals->text().startsWith(QStringLiteral("Send 2 files (29 bytes)")));
                QVERIFY(preview.labTotals->text().contains(QStringLiteral("delete 1; 0 equal, 1 conflicts")));
            }();
            return true; // the first time the deletion is not confirmed: back to the preview
        });
        QCOMPARE(shown, 2);
        QCOMPARE(m_fx->prompter.texts().size(), 2);
        QCOMPARE(calls("RequestDeleteFile"), (QStringList{"RequestDeleteFile(101,day.rec)"}));
        QVERIFY(calls("RequestSendFileEx").contains("RequestSendFileEx(101,stock.dat,STOCK.DAT,1)"));
        SyncRecord after(QDir(m_fx->pcPath(QString())).canonicalPath().toStdString(), "port:COM1");
        QCOMPARE(after.load(path), SyncRecord::Load::Loaded);
        QVERIFY(!after.find("day.rec"));
    }
};

} // namespace

QTEST_MAIN(SyncTest)
#include "SyncTest.moc"
