#include "devices/Unit.h"

Unit::Unit(Seams seams)
    : simulator_(std::move(seams.simulator)), comm_(seams.serial, simulator_, PortMap(std::move(seams.devices)))
{
    comm_.setSettings(QStringLiteral("115200,n,8,1"));
}

void Unit::open(const QString& name)
{
    close();
    if (name == u"sim")
        return;
    comm_.choose(name);
    comm_.setPortOpen(true);
}

void Unit::close()
{
    comm_.setPortOpen(false);
}
