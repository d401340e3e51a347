#include "oxHostCombScript.h"
#include "oxHostRoom.h"
#include "oxHostScript.h"

OX_HOST_ROOM(combs)
{
    oxHostScript::addExtension(&oxHostCombScript::define);
}
