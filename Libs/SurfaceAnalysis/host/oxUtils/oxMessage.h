#pragma once

#include <boost/any.hpp>
#include <boost/core/demangle.hpp>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// A kernel message: an id and a table from keys to typed values, in insertion order.
class oxMessage
{
public:
    oxMessage() = default;
    explicit oxMessage(uint64_t id) : _id(id) {}

    uint64_t id() const { return _id; }
    void setId(uint64_t id) { _id = id; }

    // The stored value, empty when the key is missing.
    const boost::any& get(const std::string& key) const;
    // Stores the value; a key that exists keeps its place.
    void set(const std::string& key, const boost::any& value, bool notify = true);
    bool has(const std::string& key) const { return find(key) != nullptr; }
    bool remove(const std::string& key);
    void clear() { _values.clear(); }
    size_t size() const { return _values.size(); }
    const std::vector<std::pair<std::string, boost::any>>& values() const { return _values; }

    // Typed read: true and the value when the key holds exactly T; false when missing;
    // another type prints the wrong-type line and a backtrace and returns false.
    template <typename T> bool get(const std::string& key, T& value) const
    {
        const boost::any* held = find(key);
        if (!held)
            return false;
        if (held->type() != typeid(T))
        {
            std::fprintf(stderr, "oxMessage::get : Attribute '%s' has wrong type (is:'%s' != req:'%s')!\n", key.c_str(),
                         held->type().name(), typeid(T).name());
            printBT();
            return false;
        }
        value = boost::any_cast<T>(*held);
        return true;
    }

    // Prints the calling stack on stderr.
    static void printBT();

private:
    const boost::any* find(const std::string& key) const;

    uint64_t _id = 0;
    std::vector<std::pair<std::string, boost::any>> _values;
};
