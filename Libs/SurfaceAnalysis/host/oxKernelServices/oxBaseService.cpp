#include "oxBaseService.h"
#include "oxKernelServiceFactory.h"

oxBaseService::oxBaseService(QObject* parent) : QObject(parent) {}

// A registered service that dies leaves the registry, so no lookup hands out a dangling pointer.
oxBaseService::~oxBaseService()
{
    oxKernelServiceFactory::the().removeService<oxBaseService>(this);
}
