#pragma once

class oxRaytracingUtilsBase;

// Gives access to the raytracer utilities, which exist only while the host has a raytracer.
class oxRaytracingManager
{
public:
    // The current utilities, or null when there is no raytracer. Ask anew on every use.
    static oxRaytracingUtilsBase* getRaytracingUtils();

    // Host side. create replaces any utilities there are; set takes ownership (null removes).
    static oxRaytracingUtilsBase* createRaytracingUtils();
    static void setRaytracingUtils(oxRaytracingUtilsBase* utils);
    static void removeRaytracingUtils();
};
