#pragma once

#include <QString>

#include <stdexcept>

// What failed, so that each front end can say it in its own language.
enum class FailureKind {
    System,       // the system's error number says it
    PortNumber,   // a port number outside 1 to 16
    NoSuchPort,   // a port number with no device under it
    LineSettings, // line settings that are not "baud,parity,data bits,stop bits"
    NoBitBang,    // an FTDI chip without synchronous bit-bang mode
    NoAnswer,     // a device that stopped answering within its deadline
    NoFtdiDriver, // FTDI's driver library, which an FTDI chip named as such needs, is not installed
    Device,       // the device's driver said it, in its own words (the detail)
    Worded,       // a front end's own failure, worded where it arose (the detail)
};

// A routine failure of the system (a port, a file, a printer): its kind, the system's error
// number behind it (0 for none) and the device's own text where there is one. Each kind is
// caught where its command reports it; anything else is a fault.
class Failure : public std::runtime_error {
public:
    Failure(FailureKind kind, int errorNumber, const QString& detail = {})
        : std::runtime_error(detail.toStdString()), kind_(kind), errorNumber_(errorNumber)
    {
    }
    // A failure a front end words itself.
    explicit Failure(const QString& text, int errorNumber = 0) : Failure(FailureKind::Worded, errorNumber, text) {}

    FailureKind kind() const { return kind_; }
    int errorNumber() const { return errorNumber_; }
    QString detail() const { return QString::fromStdString(what()); }

private:
    FailureKind kind_;
    int errorNumber_;
};
