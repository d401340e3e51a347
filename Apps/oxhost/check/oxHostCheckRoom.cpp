#include "oxHostCheckScript.h"
#include "oxHostRoom.h"
#include "oxHostScript.h"

OX_HOST_ROOM(check)
{
    oxHostScript::addExtension(&oxHostCheckScript::define);
}
