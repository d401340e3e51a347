#pragma once

#include <mutex>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>

// The host's service registry: one service object per type, found by the type's run-time type information.
class oxKernelServiceFactory
{
public:
    // Never destroyed: modules look services up from their static destructors.
    static oxKernelServiceFactory& the();

    // The service registered for T, or null (after a line on stderr) when there is none.
    template <class T> T* get() const { return static_cast<T*>(find(typeid(T))); }

    // Registers or replaces the service for T; a null service leaves an entry without a service.
    template <class T> void registerService(T* service) { insert(typeid(T), service); }
    // Forgets the entry for T; true when there was one.
    template <class T> bool removeService() { return erase(typeid(T), nullptr, false); }
    // Forgets the entry for T only while it holds this service (for services that leave on destruction).
    template <class T> bool removeService(T* service) { return erase(typeid(T), service, true); }
    template <class T> bool hasEntry() const { return contains(typeid(T)); }

private:
    oxKernelServiceFactory() = default;

    void* find(const std::type_info& type) const;
    void insert(const std::type_info& type, void* service);
    bool erase(const std::type_info& type, void* expected, bool onlyExpected);
    bool contains(const std::type_info& type) const;

    mutable std::mutex _mutex;
    std::unordered_map<std::type_index, void*> _services; // hashed by the type's hash code
};
