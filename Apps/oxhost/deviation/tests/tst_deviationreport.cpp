// The report's deviation section: its numbers from hand-made distance fields, and the section
// there only while a reference is loaded.
#include "oxDeviation.h"
#include "oxHostDeviationReport.h"
#include "oxHostReport.h"
#include "oxHostRooms.h"
#include "oxMeshNodes.h"
#include "oxOSGWidget.h"
#include "oxRenderer.h"
#include "oxSampleSurfaces.h"
#include "oxScenegraph.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>
#include <numeric>

class tst_DeviationReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The report has the section when the rooms have joined the host, as in oxhost.
    void initTestCase() { oxHostRooms::install(); }
    void numbersAreAreaWeighted_data();
    void numbersAreAreaWeighted();
    void sectionOnlyWithAReference();
};

void tst_DeviationReport::numbersAreAreaWeighted_data()
{
    // On the square [-10, 10]^2: d = constant + slope * x, at tolerance.
    QTest::addColumn<double>("constant");
    QTest::addColumn<double>("slope");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<QList<double>>("expected"); // mean, rms, std, min, max, within, p95
    QTest::newRow("uniform 0.1 within 0.2") << 0.1 << 0.0 << 0.2 << QList<double>{0.1, 0.1, 0, 0.1, 0.1, 1, 0.1};
    QTest::newRow("uniform 0.1 beyond 0.05") << 0.1 << 0.0 << 0.05 << QList<double>{0.1, 0.1, 0, 0.1, 0.1, 0, 0.1};
    // Evenly spread over [-0.5, 0.5]: rms 0.5 / sqrt(3); |d| <= 0.1 on a fifth; p95 of |d| 0.475.
    QTest::newRow("linear") << 0.0 << 0.05 << 0.1
                            << QList<double>{0, 0.5 / std::sqrt(3.0), 0.5 / std::sqrt(3.0), -0.5, 0.5, 0.2, 0.475};
}

void tst_DeviationReport::numbersAreAreaWeighted()
{
    QFETCH(double, constant);
    QFETCH(double, slope);
    QFETCH(double, tolerance);
    QFETCH(QList<double>, expected);
    oxRenderScene scene;
    auto plane = std::make_shared<oxRenderMesh>(oxSampleSurfaces::plane(10.f, 200));
    scene.setMeshes({plane});
    oxDeviationField field;
    field.distance.resize(1);
    for (const osg::Pnt3f& p : plane->positions)
        field.distance[0].push_back(float(constant + slope * p[0]));
    oxDeviationStats n;
    std::string error;
    QVERIFY2(oxDeviation::stats(scene, field, tolerance, 32, n, error), error.c_str());
    const double got[] = {n.mean, n.rms, n.std, n.min, n.max, n.within, n.p95};
    for (int i = 0; i < 7; ++i)
        QVERIFY2(std::fabs(got[i] - expected[i]) < 0.01, qPrintable(QString("%1: %2").arg(i).arg(got[i])));
    std::vector<float> values, areas;
    oxDeviation::weightedValues(scene, field, values, areas);
    QVERIFY(std::fabs(std::accumulate(areas.begin(), areas.end(), 0.0) - 400) < 1e-3);
    // No area: no numbers.
    QVERIFY(!oxDeviation::stats(oxRenderScene(), field, tolerance, 32, n, error));
}

void tst_DeviationReport::sectionOnlyWithAReference()
{
    oxRenderMesh sphere = oxSampleSurfaces::sphere(10.f, 48);
    sphere.name = "sphere";
    const osg::NodePtr node = oxMeshNodes::makeNode(sphere);
    oxScenegraph::getRoot()->addChild(node);
    oxOSGWidget::setCamera(osg::Pnt3f(0.f, 0.f, 60.f), 45.f);
    QTemporaryDir dir;
    const std::string path = dir.filePath("report.html").toStdString();
    auto read = [&]
    {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    std::string error;
    QVERIFY2(oxHostReport::write(path, 240, 240, error), error.c_str());
    QVERIFY(!read().contains("Deviation from the reference"));
    oxRenderer::the().setReference({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(10.2f, 48))});
    const bool written = oxHostReport::write(path, 240, 240, error);
    oxRenderer::the().setReference({});
    oxScenegraph::getRoot()->subChild(node);
    QVERIFY2(written, error.c_str());
    QVERIFY(read().contains("<h2>Deviation from the reference</h2>"));
}

QTEST_MAIN(tst_DeviationReport)
#include "tst_deviationreport.moc"
