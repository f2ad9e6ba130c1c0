#include "devices/Unit.h"

#include "devices/FtdiTransport.h"

Unit::Unit(Seams seams) : simulator_(std::move(seams.simulator)), port_(seams.serial, simulator_, seams.ports) {}

void Unit::open(const QString& name)
{
    close();
    simulated_ = name == u"sim";
    stableName_.clear();
    if (simulated_)
        return;
    port_.choose(name);
    const QString& path = port_.devicePath();
    if (!path.isEmpty() && !ftdiChipName(path)) {
        port_.portMap().refresh();
        stableName_ = port_.portMap().stableName(path);
    }
    port_.open();
}

void Unit::reopen()
{
    close();
    if (simulated_)
        return;
    if (!stableName_.isEmpty()) {
        // A name the system does not list (a by-id link given as the path) is opened as it stands.
        port_.portMap().refresh();
        const QString path = port_.portMap().pathOf(stableName_);
        port_.setDevicePath(path.isEmpty() ? stableName_ : path);
    }
    port_.open();
}

void Unit::close()
{
    port_.close();
}
