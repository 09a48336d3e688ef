#include "dialogs/InputText.h"
#include "ModalWatchdog.h"
#include "OnModal.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

using vexo::PromptText;
using vexo::TFormInputText;

namespace
{

struct Seen {
    bool stillOpen = false;
    bool leftOpen = false; // the actions left the dialog open: the test cancelled it
    QString title;
    QString prompt;
    QString edit;
    bool inputMethod = true;
    QRect frame;
    QSize client;
};

// Runs PromptText while `act` drives the open dialog. A dialog that the
// actions leave open is cancelled after a while, and `seen.leftOpen` says so.
QString prompt(const std::function<void(TFormInputText *, QLineEdit *, Seen &)> &act, Seen &seen)
{
    bool rescued = false;
    vexo::test::ModalWatchdog watchdog;
    vexo::test::OnModal<TFormInputText> driver([&](TFormInputText &dialog) {
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("edtText"));
        seen.title = dialog.windowTitle();
        seen.prompt = dialog.findChild<QLabel *>(QStringLiteral("LabCaption"))->text();
        seen.edit = edit->text();
        seen.inputMethod = edit->testAttribute(Qt::WA_InputMethodEnabled);
        seen.frame = dialog.frameGeometry();
        seen.client = dialog.size();
        act(&dialog, edit, seen);
        QTimer::singleShot(200, &dialog, [&rescued, &dialog] {
            rescued = true;
            dialog.ButCancelClick();
        });
    });
    const QString answer = PromptText(QStringLiteral("新建文件夹"), QStringLiteral("文件夹名称："),
                                      QStringLiteral("old name.txt"));
    if (watchdog.fired())
        QTest::qFail(watchdog.report().constData(), __FILE__, __LINE__);
    seen.leftOpen = rescued;
    return answer;
}

} // namespace

class InputTextTest : public QObject
{
    Q_OBJECT
private slots:
    void layoutAndTexts();
    void okReturnsTheTextAsTyped();
    void cancelAndEscapeReturnEmpty();
    void closeBoxReturnsTheInitialText();
    void enterActsOnReleaseOnly();
    void enterReleaseWithoutItsPressDoesNothing();
};

void InputTextTest::layoutAndTexts()
{
    Seen seen;
    prompt([](TFormInputText *dialog, QLineEdit *, Seen &) { dialog->ButCancelClick(); }, seen);
    QCOMPARE(seen.title, QStringLiteral("新建文件夹"));
    QCOMPARE(seen.prompt, QStringLiteral("文件夹名称："));
    QCOMPARE(seen.edit, QStringLiteral("old name.txt"));
    QVERIFY(!seen.inputMethod);
    QCOMPARE(seen.client, QSize(340, 136));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(seen.frame.center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(seen.frame.center().y() - screen.center().y()) <= 1);

    TFormInputText dialog;
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize()); // not resizable
    // The captions come from the language table (see the language check);
    // until then the dialog has its own.
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("ButOk"))->text(), QStringLiteral("OK"));
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("ButCancel"))->text(), QStringLiteral("Cancel"));
}

void InputTextTest::okReturnsTheTextAsTyped()
{
    Seen seen;
    const QString answer = prompt(
        [](TFormInputText *dialog, QLineEdit *edit, Seen &) {
            edit->clear();
            QTest::keyClicks(edit, QStringLiteral("  new folder "));
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("ButOk")), Qt::LeftButton);
        },
        seen);
    QCOMPARE(answer, QStringLiteral("  new folder ")); // not trimmed

    const QString empty = prompt(
        [](TFormInputText *dialog, QLineEdit *edit, Seen &) {
            edit->clear();
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("ButOk")), Qt::LeftButton);
        },
        seen);
    QVERIFY(empty.isEmpty());
}

void InputTextTest::cancelAndEscapeReturnEmpty()
{
    Seen seen;
    QString answer = prompt(
        [](TFormInputText *dialog, QLineEdit *edit, Seen &) {
            QTest::keyClicks(edit, QStringLiteral("typed"));
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("ButCancel")), Qt::LeftButton);
        },
        seen);
    QVERIFY(answer.isEmpty());

    answer = prompt(
        [](TFormInputText *, QLineEdit *edit, Seen &) {
            QTest::keyClicks(edit, QStringLiteral("typed"));
            QTest::keyPress(edit, Qt::Key_Escape); // acts on key-down, from the edit box
        },
        seen);
    QVERIFY(!seen.leftOpen);
    QVERIFY(answer.isEmpty());
}

void InputTextTest::closeBoxReturnsTheInitialText()
{
    Seen seen;
    const QString answer = prompt(
        [](TFormInputText *dialog, QLineEdit *edit, Seen &) {
            QTest::keyClicks(edit, QStringLiteral("something else"));
            dialog->close();
        },
        seen);
    QVERIFY(!seen.leftOpen);
    QCOMPARE(answer, QStringLiteral("old name.txt"));
}

void InputTextTest::enterActsOnReleaseOnly()
{
    Seen seen;
    const QString answer = prompt(
        [](TFormInputText *dialog, QLineEdit *edit, Seen &s) {
            edit->setText(QStringLiteral("数据 1.dat"));
            QTest::keyPress(edit, Qt::Key_Return);
            QTest::keyPress(edit, Qt::Key_Return, Qt::NoModifier); // held down: still open
            s.stillOpen = dialog->isVisible();
            QTest::keyRelease(edit, Qt::Key_Return);
        },
        seen);
    QVERIFY(seen.stillOpen);
    QVERIFY(!seen.leftOpen);
    QCOMPARE(answer, QStringLiteral("数据 1.dat"));

    // The keypad Enter behaves the same.
    const QString keypad = prompt(
        [](TFormInputText *, QLineEdit *edit, Seen &) {
            QTest::keyPress(edit, Qt::Key_Enter, Qt::KeypadModifier);
            QTest::keyRelease(edit, Qt::Key_Enter, Qt::KeypadModifier);
        },
        seen);
    QVERIFY(!seen.leftOpen);
    QCOMPARE(keypad, QStringLiteral("old name.txt"));
}

void InputTextTest::enterReleaseWithoutItsPressDoesNothing()
{
    // The Enter that opened the dialog (pressed in the caller's window) must
    // not close it when released over the edit box.
    Seen seen;
    const QString answer = prompt(
        [](TFormInputText *dialog, QLineEdit *edit, Seen &s) {
            QTest::keyRelease(edit, Qt::Key_Return);
            s.stillOpen = dialog->isVisible();
        },
        seen);
    QVERIFY(seen.stillOpen);
    QVERIFY(seen.leftOpen);
    QVERIFY(answer.isEmpty()); // cancelled by the test's rescue
}

QTEST_MAIN(InputTextTest)
#include "InputTextTest.moc"
