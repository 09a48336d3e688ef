#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace vexo::test
{

// Guards a test that waits on modal dialogs: a modal dialog that stays on
// top for `ms` is rejected (again each half second, for one that waits for
// its worker first), and fired() and report() say which one it was. A dialog
// the test's own driving missed then ends the wait, and the test fails
// instead of hanging until the suite's timeout.
class ModalWatchdog
{
public:
    explicit ModalWatchdog(int ms = 30000) : m_ms(ms)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start(100);
    }
    // A test that did not look at fired() fails here all the same.
    ~ModalWatchdog()
    {
        if (fired() && !QTest::currentTestFailed())
            QTest::qFail(report().constData(), __FILE__, __LINE__);
    }
    ModalWatchdog(const ModalWatchdog &) = delete;
    ModalWatchdog &operator=(const ModalWatchdog &) = delete;

    // True once it had to close a dialog.
    bool fired() const { return !m_report.isEmpty(); }
    // What it closed, for the failure message; empty when it closed nothing.
    QByteArray report() const { return m_report.toUtf8(); }

private:
    void tick()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal != m_watched) {
            m_watched = modal;
            m_since.start();
            m_bound = m_ms;
            return;
        }
        if (modal == nullptr || m_since.elapsed() < m_bound)
            return;
        if (m_report.isEmpty())
            m_report = QStringLiteral("%1 \"%2\" was still open after %3 s: the watchdog closed it")
                           .arg(QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle())
                           .arg(m_ms / 1000.0);
        m_since.start();
        m_bound = 500;
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    }

    const int m_ms;
    int m_bound = 0;
    QTimer m_timer;
    QPointer<QWidget> m_watched;
    QElapsedTimer m_since;
    QString m_report;
};

} // namespace vexo::test
