#include "oxHostCompareScript.h"
#include "oxHostRoom.h"
#include "oxHostScript.h"

OX_HOST_ROOM(compare)
{
    oxHostScript::addExtension(&oxHostCompareScript::define);
}
