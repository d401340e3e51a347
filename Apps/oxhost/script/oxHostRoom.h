#pragma once

// A host analysis's room (draft/, combs/, deviation/) joins the host through one entry,
// OX_HOST_ROOM(folder) { ... }, which adds its oxHost functions, report section and panel section
// to the shared parts beneath it. The rooms library calls every room's entry once, in the order
// of OXHOST_ROOMS in Apps/oxhost/CMakeLists.txt.
#define OX_HOST_ROOM(folder) void oxHostRoom_##folder()
