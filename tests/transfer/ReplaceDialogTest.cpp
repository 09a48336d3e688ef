// The replace dialog on its own: texts, pane pictures, answers and Rename.
#include "TransferTestSupport.h"
#include "transfer/PanePictures.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace vexo;
using test::ModalDriver;

namespace
{

QImage imageOf(const QLabel *label)
{
    return label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage imageOf(PathKind kind)
{
    return PanePicture(kind).toImage().convertToFormat(QImage::Format_ARGB32);
}

double opaqueShare(const QImage &image)
{
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) > 0;
    return double(opaque) / (image.width() * image.height());
}

} // namespace

class ReplaceDialogTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TransferFixture> m_fx;
    std::unique_ptr<TFormMain> m_w;

    // Asks once; `act` runs on the shown dialog.
    ReplaceAnswer ask(TFormDialogReplace &d, const QString &source, const QString &destination,
                      std::function<void()> act)
    {
        QTimer::singleShot(0, &d, std::move(act));
        return d.AskReplace(source, destination);
    }

private slots:
    void init()
    {
        m_fx = std::make_unique<test::TransferFixture>();
        m_w = m_fx->open();
    }
    void cleanup()
    {
        m_w.reset();
        m_fx.reset();
    }

    void textsAndPaneOfEachSide()
    {
        TFormDialogReplace d(*m_w);
        const QString source = m_fx->pcPath("a.txt");
        QStringList shown;
        QImage src, dest;
        ask(d, source, "a.txt", [&] {
            shown << d.windowTitle() << d.LabFilename->text() << d.LabReplace->text() << d.LabSrc->text()
                  << d.LabDesc->text();
            for (auto *b : {d.butYes, d.butNo, d.butRename, d.butAllYes, d.butAllNo, d.butCancel})
                shown << b->text();
            src = imageOf(d.ImgSrc);
            dest = imageOf(d.ImgDesc);
            d.butNo->click();
        });
        QCOMPARE(shown, (QStringList{"文件替换", "a.txt, already contains.",
                                     "Would you like to replace this file?", source, "a.txt", "Yes(&Y)",
                                     "No(&N)", "Rename(&R)", "YesAll(&A)", "NoAll", "Cancel(&C)"}));
        QCOMPARE(d.size(), QSize(337, 286));
        // A local source shows the disk; a bare device name the image's picture.
        QCOMPARE(src, imageOf(pkLocal));
        QCOMPARE(dest, imageOf(pkVDisk));

        ask(d, DevicePrefix + "b.txt", "a:\\b.txt", [&] {
            src = imageOf(d.ImgSrc);
            dest = d.ImgDesc->pixmap().toImage();
            d.butNo->click();
        });
        QCOMPARE(src, imageOf(pkDevice));
        QVERIFY(dest.isNull());
    }

    void panePicturesAreDrawnAndDistinct()
    {
        const QList<PathKind> kinds{pkLocal, pkDevice, pkVDisk};
        for (PathKind kind : kinds) {
            QCOMPARE(PanePicture(kind).size(), QSize(40, 40));
            QVERIFY(opaqueShare(imageOf(kind)) > 0.25);
        }
        QVERIFY(imageOf(pkLocal) != imageOf(pkDevice));
        QVERIFY(imageOf(pkDevice) != imageOf(pkVDisk));
        QVERIFY(imageOf(pkLocal) != imageOf(pkVDisk));
        QVERIFY(PanePicture(pkOther).isNull());
    }

    void eachWayOutGivesItsAnswer_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("answer");
        QTest::newRow("yes") << "butYes" << int(raYes);
        QTest::newRow("no") << "butNo" << int(raNo);
        QTest::newRow("yes to all") << "butAllYes" << int(raYesAll);
        QTest::newRow("no to all") << "butAllNo" << int(raNoAll);
        QTest::newRow("cancel") << "butCancel" << int(raCancel);
        QTest::newRow("close box") << "" << int(raNone);
        QTest::newRow("escape") << "escape" << int(raNone);
    }
    void eachWayOutGivesItsAnswer()
    {
        QFETCH(QString, button);
        QFETCH(int, answer);
        TFormDialogReplace d(*m_w);
        const ReplaceAnswer got = ask(d, m_fx->pcPath("a.txt"), "a.txt", [&] {
            if (button.isEmpty())
                d.close();
            else if (button == "escape")
                QTest::keyClick(&d, Qt::Key_Escape);
            else
                ModalDriver::click(d, button.toLatin1().constData());
        });
        QCOMPARE(int(got), answer);
        QCOMPARE(d.destination(), QStringLiteral("a.txt"));
    }

    // Sending: a new name is looked up on the device. An empty, unchanged or
    // taken name keeps the dialog open; a free one closes it with Rename.
    void renameOnTheDeviceClosesOnlyOnAFreeName()
    {
        m_fx->deviceHas({"a.txt", "b.txt"});
        m_fx->prompter.answerText("");
        m_fx->prompter.answerText("a.txt");
        m_fx->prompter.answerText("b.txt");
        QStringList shown;
        TFormDialogReplace d(*m_w);
        d.SetDirection(tdSend);
        ReplaceAnswer got = ask(d, m_fx->pcPath("a.txt"), "a.txt", [&] {
            for (int i = 0; i < 3; ++i) {
                d.butRename->click();
                shown << d.LabDesc->text() + (d.isVisible() ? " open" : " closed");
            }
            d.close(); // after a taken name: the file is skipped
        });
        QCOMPARE(shown, (QStringList{"a.txt open", "a.txt open", "b.txt open"}));
        QCOMPARE(got, raNone);
        QCOMPARE(d.destination(), QStringLiteral("b.txt"));
        QCOMPARE(m_fx->link.calls("RequestLookupFile"), QStringList{"RequestLookupFile(101,b.txt)"});
        const auto &q = m_fx->prompter.questions();
        QCOMPARE(q.size(), 3);
        QCOMPARE(q.at(0).title, QStringLiteral("Rename"));
        QCOMPARE(q.at(0).text, QStringLiteral("输入文件名："));

        // A free name, longer than a device name may be: accepted here.
        m_fx->prompter.answerText("a-much-longer-name.txt");
        TFormDialogReplace again(*m_w);
        got = ask(again, m_fx->pcPath("a.txt"), "a.txt", [&] { again.butRename->click(); });
        QCOMPARE(got, raRename);
        QCOMPARE(again.destination(), QStringLiteral("a-much-longer-name.txt"));
    }

    // Receiving: the new name stays in the destination's folder and is
    // looked up among the PC's files, never on the device.
    void renameOnThePcKeepsTheFolder()
    {
        m_fx->deviceHas({"s.txt"});
        const QString existing = m_fx->pcFile("r.txt");
        m_fx->prompter.answerText("s.txt");
        TFormDialogReplace d(*m_w);
        d.SetDirection(tdReceive);
        const ReplaceAnswer got = ask(d, "r.txt", existing, [&] { d.butRename->click(); });
        QCOMPARE(got, raRename);
        QCOMPARE(d.destination(), m_fx->pcPath("s.txt"));
        QVERIFY(m_fx->link.log().isEmpty());
    }
};

QTEST_MAIN(ReplaceDialogTest)
#include "ReplaceDialogTest.moc"
