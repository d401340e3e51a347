#include "OSGNode.h"

#include <algorithm>

namespace osg
{
void NodeCore::accumulateMatrix(Matrix&) const {}

void NodeCore::subParent(Node* node)
{
    // A shared core loses its nodes newest first when a subtree is taken down, so search from the back.
    auto it = std::find(_parents.rbegin(), _parents.rend(), node);
    if (it != _parents.rend())
        _parents.erase(std::next(it).base());
}

GroupPtr Group::create()
{
    return GroupPtr(new Group);
}

Node::Node() : _travMask(~UInt32(0)) {}

Node::~Node()
{
    for (NodePtr& child : _children)
        child->_parent = nullptr;
    if (_core != NullFC)
        _core->subParent(this);
}

NodePtr Node::create()
{
    return NodePtr(new Node);
}

Field* Node::getField(UInt32 fieldId)
{
    return fieldId == TravMaskFieldId ? &_travMask : nullptr;
}

const char* Node::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
    case TravMaskFieldId:
        return "travMask";
    case ParentFieldId:
        return "parent";
    case ChildrenFieldId:
        return "children";
    case CoreFieldId:
        return "core";
    default:
        return nullptr;
    }
}

void Node::setCore(const NodeCorePtr& core)
{
    if (core == _core)
        return;
    if (_core != NullFC)
        _core->subParent(this);
    _core = core;
    if (_core != NullFC)
        _core->addParent(this);
}

NodePtr Node::getParent() const
{
    return NodePtr(_parent);
}

NodePtr Node::getChild(UInt32 index) const
{
    return index < _children.size() ? _children[index] : NodePtr();
}

void Node::addChild(const NodePtr& child)
{
    if (child == NullFC || child.get() == this)
        return;
    NodePtr keep = child; // the old parent may hold the last reference
    if (child->_parent)
        child->_parent->subChild(child);
    child->_parent = this;
    _children.push_back(child);
}

void Node::subChild(const NodePtr& child)
{
    const Int32 index = findChild(child);
    if (index >= 0)
        subChild(UInt32(index));
}

void Node::subChild(UInt32 index)
{
    if (index >= _children.size())
        return;
    _children[index]->_parent = nullptr;
    _children.erase(_children.begin() + index);
}

Int32 Node::findChild(const NodePtr& child) const
{
    for (UInt32 i = 0; i < _children.size(); ++i)
        if (_children[i] == child)
            return Int32(i);
    return -1;
}

Matrix Node::getToWorld() const
{
    std::vector<const Node*> chain;
    for (const Node* n = this; n; n = n->_parent)
        chain.push_back(n);
    Matrix m;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if ((*it)->_core != NullFC)
            (*it)->_core->accumulateMatrix(m);
    return m;
}
} // namespace osg
