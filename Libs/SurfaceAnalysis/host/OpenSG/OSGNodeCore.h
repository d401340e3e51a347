#pragma once

#include "OSGFieldContainer.h"
#include "OSGMatrix.h"

#include <vector>

namespace osg
{
class Node;

// What a node is: a transform, a geometry, a group.
class NodeCore : public FieldContainer
{
public:
    typedef FieldContainer Inherited;
    enum
    {
        NextFieldId = Inherited::NextFieldId
    };

    const std::vector<Node*>& getParents() const { return _parents; }
    // The transform this core adds to its node's children (identity for most cores).
    virtual void accumulateMatrix(Matrix& result) const;

protected:
    NodeCore() = default;

private:
    friend class Node;
    void addParent(Node* node) { _parents.push_back(node); }
    void subParent(Node* node);

    std::vector<Node*> _parents;
};

typedef FCPtr<NodeCore> NodeCorePtr;

// A core that only groups its node's children.
class Group : public NodeCore
{
public:
    static FCPtr<Group> create();
    const char* getTypeName() const override { return "Group"; }
};
typedef FCPtr<Group> GroupPtr;
} // namespace osg
