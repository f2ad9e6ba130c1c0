#include "devices/Unit.h"

Unit::Unit(Seams seams)
    : simulator_(std::move(seams.simulator)), comm_(seams.serial, simulator_, PortMap(std::move(seams.devices)))
{
    comm_.setSettings(QStringLiteral("115200,n,8,1"));
}

void Unit::open(const QString& name)
{
    close();
    simulated_ = name == u"sim";
    stableName_.clear();
    if (simulated_)
        return;
    comm_.choose(name);
    const QString& path = comm_.devicePath();
    if (!path.isEmpty() && !path.startsWith(u"ftdi:")) {
        comm_.portMap().refresh();
        stableName_ = comm_.portMap().stableName(path);
    }
    comm_.setPortOpen(true);
}

void Unit::reopen()
{
    close();
    if (simulated_)
        return;
    if (!stableName_.isEmpty()) {
        // A name the system does not list (a by-id link given as the path) is opened as it stands.
        comm_.portMap().refresh();
        const QString path = comm_.portMap().pathOf(stableName_);
        comm_.setDevicePath(path.isEmpty() ? stableName_ : path);
    }
    comm_.setPortOpen(true);
}

void Unit::close()
{
    comm_.setPortOpen(false);
}
