#pragma once

#include <QObject>

class QSocketNotifier;

namespace vexo
{

// Turns SIGTERM, SIGINT and SIGHUP (the desktop closing the session) into a
// signal on the window thread, so the program can close its window normally
// and run its shut-down.
class UnixSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignalWatcher(QObject *parent = nullptr);
    ~UnixSignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace vexo
