#pragma once

#include "OSGBaseTypes.h"

#include <typeinfo>
#include <vector>

namespace osg
{
// A field of a container, addressable by id; the value type is known at run time.
class Field
{
public:
    virtual ~Field() = default;
    virtual const std::type_info& getValueType() const = 0;
};

// Single-value field.
template <class T> class SField : public Field
{
public:
    typedef T StoredType;

    SField() : _value() {}
    explicit SField(const T& value) : _value(value) {}

    const T& getValue() const { return _value; }
    T& getValue() { return _value; }
    void setValue(const T& value) { _value = value; }
    const std::type_info& getValueType() const override { return typeid(T); }

private:
    T _value;
};

// Multi-value field.
template <class T> class MField : public Field
{
public:
    typedef T StoredType;
    typedef typename std::vector<T>::iterator iterator;
    typedef typename std::vector<T>::const_iterator const_iterator;

    UInt32 size() const { return UInt32(_values.size()); }
    bool empty() const { return _values.empty(); }
    void push_back(const T& value) { _values.push_back(value); }
    void clear() { _values.clear(); }
    void reserve(UInt32 n) { _values.reserve(n); }
    void resize(UInt32 n) { _values.resize(n); }
    T& operator[](UInt32 i) { return _values[i]; }
    const T& operator[](UInt32 i) const { return _values[i]; }
    iterator begin() { return _values.begin(); }
    iterator end() { return _values.end(); }
    const_iterator begin() const { return _values.begin(); }
    const_iterator end() const { return _values.end(); }
    const std::vector<T>& getValues() const { return _values; }
    std::vector<T>& getValues() { return _values; }
    const std::type_info& getValueType() const override { return typeid(std::vector<T>); }

private:
    std::vector<T> _values;
};
} // namespace osg
