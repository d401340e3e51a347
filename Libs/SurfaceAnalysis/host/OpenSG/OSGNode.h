#pragma once

#include "OSGFieldContainer.h"
#include "OSGNodeCore.h"

#include <string>
#include <vector>

namespace osg
{
class Node;
typedef FCPtr<Node> NodePtr;

// A scene-graph node: one core, ordered children, at most one parent.
// Nodes hold their children and core; the parent link is not a reference, so trees free cleanly.
class Node : public FieldContainer
{
public:
    typedef FieldContainer Inherited;
    enum
    {
        TravMaskFieldId = Inherited::NextFieldId,
        ParentFieldId,
        ChildrenFieldId,
        CoreFieldId,
        NextFieldId
    };
    static constexpr BitVector TravMaskFieldMask = BitVector(1) << TravMaskFieldId;
    static constexpr BitVector ParentFieldMask = BitVector(1) << ParentFieldId;
    static constexpr BitVector ChildrenFieldMask = BitVector(1) << ChildrenFieldId;
    static constexpr BitVector CoreFieldMask = BitVector(1) << CoreFieldId;

    static NodePtr create();
    const char* getTypeName() const override { return "Node"; }
    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    NodeCorePtr getCore() const { return _core; }
    void setCore(const NodeCorePtr& core);

    NodePtr getParent() const;
    UInt32 getNChildren() const { return UInt32(_children.size()); }
    NodePtr getChild(UInt32 index) const;
    // A child that has another parent is moved here.
    void addChild(const NodePtr& child);
    void subChild(const NodePtr& child);
    void subChild(UInt32 index);
    Int32 findChild(const NodePtr& child) const;

    // The active flag is the traversal mask: an inactive node and its subtree are not drawn or picked.
    bool getActive() const { return _travMask.getValue() != 0; }
    void setActive(bool active) { _travMask.setValue(active ? ~UInt32(0) : 0u); }
    UInt32 getTravMask() const { return _travMask.getValue(); }
    void setTravMask(UInt32 mask) { _travMask.setValue(mask); }

    // Product of the cores' matrices from the root down to and including this node.
    Matrix getToWorld() const;

    // Not an OpenSG field: the name the host shows (OpenSG keeps it in a name attachment).
    const std::string& getName() const { return _name; }
    void setName(const std::string& name) { _name = name; }

protected:
    Node();
    ~Node() override;

private:
    SField<UInt32> _travMask;
    Node* _parent = nullptr;
    std::vector<NodePtr> _children;
    NodeCorePtr _core;
    std::string _name;
};
} // namespace osg
