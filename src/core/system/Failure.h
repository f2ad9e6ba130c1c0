#pragma once

#include <QString>

#include <stdexcept>

// A routine failure of the system (a port, a file, a printer) with the reason to show the
// user. Each kind is caught where its command reports it; anything else is a fault.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& reason) : std::runtime_error(reason.toStdString()) {}
    QString reason() const { return QString::fromStdString(what()); }
};
