#include "oxModuleBase.h"
#include "oxKernel.h"

oxModuleBase::oxModuleBase(const char* name, const char* name2, uint64_t messageMask, QPixmap* icon)
    : _name(name ? name : ""), _name2(name2 ? name2 : ""), _messageMask(messageMask), _icon(icon)
{
    oxKernel::registerModule(this);
}

oxModuleBase::~oxModuleBase()
{
    oxKernel::unregisterModule(this);
}

QWidget* oxModuleBase::getWidget() const
{
    return nullptr;
}

void oxModuleBase::init() {}

void oxModuleBase::update() {}

void oxModuleBase::loop() {}

bool oxModuleBase::receivedMessage(oxMessage&)
{
    return false;
}
