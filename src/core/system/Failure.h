#pragma once

#include <QString>

#include <stdexcept>

// A routine failure of the system (a port, a file, a printer) with the reason to show the
// user. Each kind is caught where its command reports it; anything else is a fault.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& reason, int errorNumber = 0)
        : std::runtime_error(reason.toStdString()), errorNumber_(errorNumber)
    {
    }
    QString reason() const { return QString::fromStdString(what()); }
    // The system's error number behind the failure, for programs that word it themselves; 0
    // when there is none.
    int errorNumber() const { return errorNumber_; }

private:
    int errorNumber_;
};
