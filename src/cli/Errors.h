#pragma once

#include <QString>

#include <stdexcept>

namespace tallowmere {

// The error every service throws: an upper-case code and a Chinese sentence for the user.
class TallowmereNativeError : public std::runtime_error {
public:
    TallowmereNativeError(QString code, QString message)
        : std::runtime_error(message.toStdString())
        , m_code(std::move(code))
        , m_message(std::move(message))
    {
    }
    const QString &code() const { return m_code; }
    const QString &message() const { return m_message; }

private:
    QString m_code;
    QString m_message;
};

// Errors that pass through the services unchanged, so that callers can tell them apart: a transport
// error is worth retrying, a missing file is not a configuration error.
class PassThroughError : public std::runtime_error {
public:
    explicit PassThroughError(const QString &description)
        : std::runtime_error(description.toStdString())
    {
    }
};

class FileError : public PassThroughError { // reading or writing a file
    using PassThroughError::PassThroughError;
};
class TransportError : public PassThroughError { // the network request did not complete
    using PassThroughError::PassThroughError;
};
class DecodingError : public PassThroughError { // a reply or document of the wrong shape
    using PassThroughError::PassThroughError;
};

} // namespace tallowmere
