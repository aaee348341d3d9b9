#pragma once

#include <QApplication>

namespace vq {

class IPrompts;

// The application object. An exception that escapes an event handler is reported in one error
// message, and the program keeps running.
class VeloquaApplication : public QApplication
{
    Q_OBJECT
public:
    VeloquaApplication(int &argc, char **argv);

    void setPrompts(IPrompts *prompts) { m_prompts = prompts; }
    bool notify(QObject *receiver, QEvent *event) override;

    // Shows the error report for an exception that reached the top of a command.
    void reportException(const QString &message);

private:
    IPrompts *m_prompts = nullptr;
    bool m_reporting = false;
};

} // namespace vq
