#pragma once

#include "core/converter/ControlLines.h"
#include "core/system/Failure.h"

#include <QString>

// A port that could not be opened (no such device, in use, bad settings).
class PortError : public Failure {
public:
    using Failure::Failure;
};

struct LineSettings {
    qint32 baudRate = 115200;
    char parity = 'n';  // n, e, o, m, s
    int dataBits = 8;
    int stopBits = 1;

    // The converter's port settings, as the window shows them.
    static inline const QString Standard = QStringLiteral("115200,n,8,1");

    // "115200,n,8,1"; throws PortError on anything else.
    static LineSettings parse(const QString& text);
    bool operator==(const LineSettings&) const = default;
};

// A serial device that opens exclusively and drives its modem-control lines. Line
// operations are only valid while open and throw LineError when the system refuses them.
class SerialDevice : public ControlLines {
public:
    virtual void open(const QString& device, const LineSettings& settings) = 0; // throws PortError
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // The link: how the open port reaches the converter's lines.
    enum class Link { ModemLines, FtdiBitBang };
    virtual Link link() const { return Link::ModemLines; }
};
