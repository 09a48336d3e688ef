#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <new>

namespace vexo::test
{

// Key events as real input delivers them: each built at the same address
// (as a stack-allocated event is; one sent while another is still being
// delivered, from a dialog's loop, gets the next address down), each press
// with its own server time stamp and the key's scan code, and sent to
// whatever widget has the focus.
class RealKeys
{
public:
    void press(int key, Qt::KeyboardModifiers modifiers = {}, bool repeat = false)
    {
        send(QEvent::KeyPress, key, modifiers, repeat);
    }
    void release(int key, Qt::KeyboardModifiers modifiers = {}, bool repeat = false)
    {
        send(QEvent::KeyRelease, key, modifiers, repeat);
    }
    void click(int key, Qt::KeyboardModifiers modifiers = {})
    {
        press(key, modifiers);
        release(key, modifiers);
    }

private:
    void send(QEvent::Type type, int key, Qt::KeyboardModifiers modifiers, bool repeat)
    {
        QWidget *to = QApplication::focusWidget();
        if (to == nullptr) {
            qWarning("RealKeys: no widget has the focus");
            return;
        }
        const QString text = key >= Qt::Key_A && key <= Qt::Key_Z ? QString(QChar(key)).toLower() : QString();
        if (m_depth == Depth) {
            qWarning("RealKeys: nested too deep");
            return;
        }
        auto *event =
            new (m_buffer[m_depth]) QKeyEvent(type, key, modifiers, 9 + (key & 0xff), 0, 0, text, repeat);
        event->setTimestamp(m_time += 40);
        ++m_depth;
        QApplication::sendEvent(to, event);
        --m_depth;
        event->~QKeyEvent();
    }

    static constexpr int Depth = 4;
    alignas(QKeyEvent) unsigned char m_buffer[Depth][sizeof(QKeyEvent)];
    int m_depth = 0;
    quint64 m_time = 100000;
};

} // namespace vexo::test
