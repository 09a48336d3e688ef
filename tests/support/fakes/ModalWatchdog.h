#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

namespace vexo::test
{

// Guards a test that waits on a modal dialog: once `ms` have passed, every
// modal dialog still open is rejected (again each half second, for one that
// waits for its worker first) and fired() says so. A dialog the test's own
// driving missed then ends the test with a failure instead of hanging it.
class ModalWatchdog
{
public:
    explicit ModalWatchdog(int ms = 30000)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal == nullptr)
                return;
            m_fired = true;
            m_timer.setInterval(500);
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
        });
        m_timer.start(ms);
    }
    ModalWatchdog(const ModalWatchdog &) = delete;
    ModalWatchdog &operator=(const ModalWatchdog &) = delete;

    // True once it had to close a dialog.
    bool fired() const { return m_fired; }

private:
    QTimer m_timer;
    bool m_fired = false;
};

} // namespace vexo::test
