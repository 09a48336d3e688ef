#pragma once

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>

namespace vexo::test
{

// Runs `act` on a modal dialog of type D once it is on screen and takes
// input, once each time it shows. It polls for that rather than acting at a
// fixed moment: on a busy machine a dialog shows a while after the key or
// call that opens it, and a click that lands before then is lost.
template <class D> class OnModal : public QObject
{
public:
    using Action = std::function<void(D &)>;
    explicit OnModal(Action act) : m_act(std::move(act))
    {
        connect(&m_timer, &QTimer::timeout, this, &OnModal::tick);
        m_timer.start(10);
    }
    // How many times a dialog was acted on.
    int shown() const { return m_shown; }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Hidden, it may be shown again (the same dialog, asked again).
        if (event->type() == QEvent::Hide && watched == m_driven) {
            watched->removeEventFilter(this);
            m_driven = nullptr;
        }
        return false;
    }

private:
    void tick()
    {
        auto *dialog = qobject_cast<D *>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog == m_driven || !dialog->isVisible() ||
            QApplication::activeWindow() != dialog)
            return;
        m_driven = dialog;
        dialog->installEventFilter(this);
        ++m_shown;
        m_act(*dialog);
    }

    Action m_act;
    QTimer m_timer;
    QPointer<QWidget> m_driven;
    int m_shown = 0;
};

} // namespace vexo::test
