// The replace dialog on its own: texts, pane pictures, answers and Rename.
#include "OnModal.h"
#include "TransferTestSupport.h"
#include "transfer/PanePictures.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace vexo;
using test::ModalDriver;

class ReplaceDialogTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TransferFixture> m_fx;
    std::unique_ptr<TFormMain> m_w;

    // Asks once; `act` runs once the dialog is up and takes input.
    static ReplaceAnswer ask(TFormDialogReplace &d, const QString &source, const QString &destination,
                             const std::function<void()> &act)
    {
        test::ModalWatchdog watchdog;
        test::OnModal<TFormDialogReplace> driver([&](TFormDialogReplace &) { act(); });
        return d.AskReplace(source, destination);
    }
    static QImage image(const QPixmap &pixmap)
    {
        return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    }

private slots:
    void init()
    {
        m_w.reset(); // before the fakes it uses
        m_fx = std::make_unique<test::TransferFixture>();
        m_w = m_fx->open();
    }

    void textsAndThePictureOfEachSidesPane()
    {
        TFormDialogReplace d(m_w->transferContext());
        const QString source = m_fx->pcPath("a.txt");
        QStringList shown;
        QList<QImage> pictures;
        ask(d, source, "a.txt", [&] {
            shown << d.windowTitle() << d.LabFilename->text() << d.LabReplace->text() << d.LabSrc->text()
                  << d.LabDesc->text();
            for (auto *b : {d.butYes, d.butNo, d.butRename, d.butAllYes, d.butAllNo, d.butCancel})
                shown << b->text();
            pictures << image(d.ImgSrc->pixmap()) << image(d.ImgDesc->pixmap());
            d.butNo->click();
        });
        QCOMPARE(shown,
                 (QStringList{"Replace File", "a.txt already exists.", "Would you like to replace this file?",
                              source, "a.txt", "&Yes", "&No", "&Rename", "Yes&All", "NoAll", "&Cancel"}));
        ask(d, DevicePrefix + "b.txt", "a:\\b.txt", [&] {
            pictures << image(d.ImgSrc->pixmap()) << image(d.ImgDesc->pixmap());
            d.butNo->click();
        });
        // A bare device name shows the image's picture; only the prefix marks the palmtop.
        QCOMPARE(pictures.at(0), image(PanePicture(pkLocal)));
        QCOMPARE(pictures.at(1), image(PanePicture(pkVDisk)));
        QCOMPARE(pictures.at(2), image(PanePicture(pkDevice)));
        QVERIFY(pictures.at(3).isNull());
        QVERIFY(pictures.at(0) != pictures.at(1) && pictures.at(1) != pictures.at(2) &&
                pictures.at(0) != pictures.at(2));
    }

    // Sending: a new name is looked up on the device. An empty, unchanged or
    // taken name keeps the dialog open; a free one closes it. One too long
    // for the device is refused with the limit and asked for again.
    void renameOnTheDeviceClosesOnlyOnAFreeName()
    {
        m_fx->deviceHas({"a.txt", "b.txt"});
        for (const char *answer : {"", "a.txt", "b.txt"})
            m_fx->prompter.answerText(answer);
        QStringList shown;
        TFormDialogReplace d(m_w->transferContext());
        ReplaceAnswer got = ask(d, m_fx->pcPath("a.txt"), "a.txt", [&] {
            for (int i = 0; i < 3; ++i) {
                d.butRename->click();
                shown << d.LabDesc->text() + (d.isVisible() ? " open" : " closed");
            }
            d.close(); // after a taken name: skipped
        });
        QCOMPARE(shown, (QStringList{"a.txt open", "a.txt open", "b.txt open"}));
        QCOMPARE(got, raNone);
        QCOMPARE(d.destination(), QStringLiteral("b.txt"));
        QCOMPARE(m_fx->link.calls("RequestLookupFile"), QStringList{"RequestLookupFile(101,b.txt)"});
        QCOMPARE(m_fx->prompter.questions().at(0).title, QStringLiteral("Rename"));
        QCOMPARE(m_fx->prompter.questions().at(0).text, QStringLiteral("New file name:"));

        m_fx->prompter.answerText("a-much-longer-name.txt");
        m_fx->prompter.answerText("short.txt");
        TFormDialogReplace again(m_w->transferContext());
        got = ask(again, m_fx->pcPath("a.txt"), "a.txt", [&] { again.butRename->click(); });
        QCOMPARE(got, raRename);
        QCOMPARE(again.destination(), QStringLiteral("short.txt"));
        const QStringList asked = m_fx->prompter.texts().mid(3);
        QCOMPARE(asked,
                 (QStringList{"New file name:",
                              "Cannot rename to a-much-longer-name.txt: the name is longer than 16 bytes",
                              "New file name:"}));
    }
};

QTEST_MAIN(ReplaceDialogTest)
#include "ReplaceDialogTest.moc"
