#include "oxInternalCameraConnector.h"

namespace
{
oxInternalCameraConnector* s_instance = nullptr;
}

oxInternalCameraConnector::oxInternalCameraConnector(QObject* parent) : QObject(parent) {}

oxInternalCameraConnector::~oxInternalCameraConnector()
{
    if (s_instance == this)
        s_instance = nullptr;
}

oxInternalCameraConnector* oxInternalCameraConnector::getInstance()
{
    return s_instance;
}

void oxInternalCameraConnector::setInstance(oxInternalCameraConnector* connector)
{
    s_instance = connector;
}
