// The frames' derived data: each item is measured again exactly when the scene, the reference
// or a setting it depends on changed, and otherwise answered from what is kept.
#include "oxDerivedData.h"
#include "oxRenderScene.h"
#include "oxSampleSurfaces.h"

#include <QtTest>

#include <memory>

class tst_DerivedData : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void measuredAgainOnlyWhenItsSourcesChange_data();
    void measuredAgainOnlyWhenItsSourcesChange();

private:
    oxRenderScene scene, reference, largerReference;
};

void tst_DerivedData::initTestCase()
{
    scene.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(10.f, 32))});
    reference.setForPointQueries(true);
    reference.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(10.5f, 32))});
    largerReference.setForPointQueries(true);
    largerReference.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(20.f, 32))});
}

void tst_DerivedData::measuredAgainOnlyWhenItsSourcesChange_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("combs");
    QTest::addColumn<bool>("deviation");
    QTest::newRow("nothing") << "nothing" << false << false;
    QTest::newRow("scene") << "scene" << true << true;
    QTest::newRow("reference") << "reference" << false << true;
    QTest::newRow("comb samples") << "comb samples" << true << false;
    QTest::newRow("comb section normal") << "comb section normal" << true << false;
    QTest::newRow("deviation tolerance") << "deviation tolerance" << false << false;
    QTest::newRow("deviation range") << "deviation range" << false << false;
    QTest::newRow("draft angle") << "draft angle" << false << false;
}

void tst_DerivedData::measuredAgainOnlyWhenItsSourcesChange()
{
    QFETCH(QString, change);
    QFETCH(bool, combs);
    QFETCH(bool, deviation);
    oxDerivedData derived;
    oxDerivedData::Sources from{&scene, 1, &reference, 1};
    oxHostAnalysisSettings settings;
    settings.CombActive = true;
    settings.CombSections = 2;
    derived.combLines(from, settings);
    const auto field = derived.deviation(from);
    derived.deviationTolerance(from, settings);
    QVERIFY(field);
    QCOMPARE(derived.combsDrawn(), size_t(1));
    QCOMPARE(derived.deviationsMeasured(), size_t(1));

    if (change == "scene")
        ++from.sceneVersion;
    else if (change == "reference")
    {
        from.reference = &largerReference;
        ++from.referenceVersion;
    }
    else if (change == "comb samples")
        settings.CombSamples = 32;
    else if (change == "comb section normal")
        settings.CombSectionNormal = osg::Vec3f(0.f, 1.f, 0.f);
    else if (change == "deviation tolerance")
        settings.DeviationTolerance = 0.25f;
    else if (change == "deviation range")
        settings.DeviationRange = 2.f;
    else if (change == "draft angle")
        settings.DraftAngle = 5.f;

    QCOMPARE(derived.deviationStale(from), deviation);
    derived.combLines(from, settings);
    QCOMPARE(derived.deviation(from) != field, deviation);
    QCOMPARE(derived.combsDrawn(), size_t(combs ? 2 : 1));
    QCOMPARE(derived.deviationsMeasured(), size_t(deviation ? 2 : 1));
    // The tolerance kept is the one the reference and the setting give now.
    QCOMPARE(derived.deviationTolerance(from, settings), float(oxDeviation::tolerance(settings, *from.reference)));
}

QTEST_MAIN(tst_DerivedData)
#include "tst_deriveddata.moc"
