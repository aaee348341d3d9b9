#pragma once

#include <QString>

#include <stdexcept>

namespace vq {

// Base of the program's own exceptions: a message for the user, kept as QString so that no
// text is lost to a narrow conversion on the way to the error report.
class Error : public std::runtime_error
{
public:
    explicit Error(const QString &message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

} // namespace vq
