#include "OSGFieldContainerFactory.h"
#include "OSGNode.h"
#include "OSGSurfaceAnalysisAttachment.h"
#include "OSGTransform3D.h"

#include <QtTest>

#include <map>

Q_DECLARE_METATYPE(osg::Vec3f)

using namespace osg;

class tst_SceneGraph : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void containerIsFoundByIdUntilItDies();
    void editBracketsNotifyOnce();
    void nodeTreeKeepsChildrenAlive();
    void recordFieldsHaveFixedIdsNamesAndTypes_data();
    void recordFieldsHaveFixedIdsNamesAndTypes();
    void eulerTripleReadsBackAsGiven();
    void eulerRoundTripThroughQuaternion_data();
    void eulerRoundTripThroughQuaternion();
    void eulerConventionTurnsAboutXThenYThenZ();
};

void tst_SceneGraph::containerIsFoundByIdUntilItDies()
{
    UInt32 id = 0;
    {
        SurfaceAnalysisAttachmentPtr record = SurfaceAnalysisAttachment::create();
        id = record->getId();
        QVERIFY(FieldContainerFactory::the()->getContainer(id) == record);
        SurfaceAnalysisAttachmentPtr other = SurfaceAnalysisAttachment::create();
        QVERIFY(other->getId() != id);
    }
    QVERIFY(FieldContainerFactory::the()->getContainer(id) == NullFC);
    // Ids are not reused: a new container never answers for a dead one.
    SurfaceAnalysisAttachmentPtr fresh = SurfaceAnalysisAttachment::create();
    QVERIFY(fresh->getId() > id);
    QVERIFY(FieldContainerFactory::the()->getContainer(id) == NullFC);
}

void tst_SceneGraph::editBracketsNotifyOnce()
{
    SurfaceAnalysisAttachmentPtr record = SurfaceAnalysisAttachment::create();
    const UInt64 before = record->getChangeCount();
    beginEditCP(record, SurfaceAnalysisAttachment::IsolinesFieldMask);
    QVERIFY(record->isBeingEdited());
    record->setIsolines(7);
    endEditCP(record, SurfaceAnalysisAttachment::IsolinesFieldMask);
    QVERIFY(!record->isBeingEdited());
    QCOMPARE(record->getChangeCount(), before + 1);
    QCOMPARE(record->getLastChangedMask(), SurfaceAnalysisAttachment::IsolinesFieldMask);
    // A null pointer is ignored, as OpenSG does.
    beginEditCP(SurfaceAnalysisAttachmentPtr(), AllFieldsMask);
    endEditCP(SurfaceAnalysisAttachmentPtr(), AllFieldsMask);
}

// A child added to another parent moves there, and lives as long as its parent holds it.
void tst_SceneGraph::nodeTreeKeepsChildrenAlive()
{
    UInt32 childId = 0;
    NodePtr root = Node::create(), oldParent = Node::create();
    {
        NodePtr child = Node::create();
        child->setCore(Transform3D::create());
        childId = child->getId();
        oldParent->addChild(child);
        root->addChild(child);
    }
    QCOMPARE(oldParent->getNChildren(), 0u);
    QCOMPARE(root->getNChildren(), 1u);
    QVERIFY(FieldContainerFactory::the()->getContainer(childId) != NullFC);
    QVERIFY(root->getChild(0)->getParent() == root);
    root->subChild(0u);
    QVERIFY(FieldContainerFactory::the()->getContainer(childId) == NullFC);
}

namespace
{
// Name and type of each of the record's own fields, from id 3 on.
const QStringList& recordFields()
{
    static const QStringList fields =
        QString("LinearLightDirection:v Isolines:u ShadingMode:u BaseColor:v StripeThickness:f StripeSharpness:f "
                "StripeColor:v UseViewVector:b AnalysisMode:u LineMode:u LightPlaneOrigin:v LightPlaneAxisU:v "
                "LightPlaneAxisV:v LightPlaneEulerRotation:v LightSphereEulerRotation:v LightSphereAxis:v "
                "LightSphereAxisUTangent:v ReflectionMode:u LightLinesDistance:f LightLinesLength:f "
                "IsLightLinesLengthLimited:b LightPlaneVisible:b LightSphereVisible:b LightDirectionVisible:b "
                "GlossyColor:v PhongExponent:f CurvatureEvaluationType:u CurvatureDrawScale:f CurvatureUseBands:b "
                "CurvatureUseRadiusLimit:b CurvatureRadiusLimit:f")
            .split(' ');
    return fields;
}
} // namespace

void tst_SceneGraph::recordFieldsHaveFixedIdsNamesAndTypes_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    const std::map<QString, const char*> types = {{"v", typeid(Vec3f).name()},
                                                  {"u", typeid(unsigned int).name()},
                                                  {"f", typeid(float).name()},
                                                  {"b", typeid(bool).name()}};
    const QStringList& fields = recordFields();
    for (int i = 0; i < fields.size(); ++i)
    {
        const QStringList field = fields[i].split(':');
        QTest::newRow(qPrintable(field[0])) << 3 + i << field[0] << QString(types.at(field[1]));
    }
}

void tst_SceneGraph::recordFieldsHaveFixedIdsNamesAndTypes()
{
    QFETCH(int, id);
    QFETCH(QString, name);
    QFETCH(QString, type);
    SurfaceAnalysisAttachmentPtr record = SurfaceAnalysisAttachment::create();
    QCOMPARE(QString(record->getFieldName(id)), name);
    Field* field = record->getField(id);
    QVERIFY(field);
    QCOMPARE(QString(field->getValueType().name()), type);
    QCOMPARE(record->getFieldId(name.toLatin1().constData()), UInt32(id));
    // The fields the record inherits, then the listed ones: none beyond the list.
    QCOMPARE(record->getNumFields(), UInt32(SurfaceAnalysisAttachment::FirstOwnFieldId + recordFields().size()));
}

void tst_SceneGraph::eulerTripleReadsBackAsGiven()
{
    Transform3DPtr t = Transform3D::create();
    const Vec3f odd(270.f, 400.f, -720.f);
    t->setRotationAsEuler(odd);
    QCOMPARE(t->getEulerRotation(), odd);
}

void tst_SceneGraph::eulerRoundTripThroughQuaternion_data()
{
    QTest::addColumn<Vec3f>("euler");
    QTest::newRow("identity") << Vec3f(0, 0, 0);
    QTest::newRow("x") << Vec3f(30, 0, 0);
    QTest::newRow("y") << Vec3f(0, -40, 0);
    QTest::newRow("z") << Vec3f(0, 0, 170);
    QTest::newRow("mixed") << Vec3f(10, 20, 30);
    QTest::newRow("mixed negative") << Vec3f(-120, 45, -60);
    QTest::newRow("gimbal +90") << Vec3f(25, 90, 0);
    QTest::newRow("gimbal -90") << Vec3f(-70, -90, 0);
}

void tst_SceneGraph::eulerRoundTripThroughQuaternion()
{
    QFETCH(Vec3f, euler);
    Transform3DPtr t = Transform3D::create();
    t->setRotationAsQuaternion(Transform3D::eulerToQuaternion(euler));
    const Vec3f back = t->getEulerRotation();
    QVERIFY2(back.equals(euler, 1e-3f), qPrintable(QString("%1 %2 %3").arg(back[0]).arg(back[1]).arg(back[2])));
    // And the rotation itself survives, also where the triple is not unique.
    const Quaternion q1 = Transform3D::eulerToQuaternion(euler), q2 = Transform3D::eulerToQuaternion(back);
    QVERIFY(q1.equals(q2, 1e-5f) || q1.equals(Quaternion(-q2.x(), -q2.y(), -q2.z(), -q2.w()), 1e-5f));
}

void tst_SceneGraph::eulerConventionTurnsAboutXThenYThenZ()
{
    // (90, 0, 90): X first takes +Y to +Z, then Z leaves +Z alone.
    Transform3DPtr t = Transform3D::create();
    t->setRotationAsEuler(Vec3f(90, 0, 90));
    const Matrix m = t->getMatrix();
    QVERIFY(m.getColumn3(1).equals(Vec3f(0, 0, 1), 1e-6f));
    // +X is untouched by the X turn and goes to +Y under the Z turn.
    QVERIFY(m.getColumn3(0).equals(Vec3f(0, 1, 0), 1e-6f));
}

QTEST_GUILESS_MAIN(tst_SceneGraph)
#include "tst_scenegraph.moc"
