#pragma once

// The host analyses' rooms, all in one library so that each is linked once.
namespace oxHostRooms
{
// Every room joins the host: its oxHost functions, report section and panel section. Once is
// enough; before the panel plug-in attaches, so that oxHost lists the rooms' functions first.
void install();
} // namespace oxHostRooms
