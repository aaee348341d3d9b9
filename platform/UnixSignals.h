#pragma once

#include <QObject>

class QSocketNotifier;

namespace vq::platform {

// Delivers SIGTERM and SIGINT to the event loop as a Qt signal, so that a session logout or a
// Ctrl-C ends the program through its normal closing path.
class UnixSignals : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignals(QObject *parent = nullptr);
    ~UnixSignals() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void onReadable();
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace vq::platform
