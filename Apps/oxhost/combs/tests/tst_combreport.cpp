// The report's curvature combs image: there when the combs are on, with the teeth drawn.
#include "oxHostAnalysisSettings.h"
#include "oxHostAnalysisModel.h"
#include "oxHostReport.h"
#include "oxHostRooms.h"
#include "oxCurvatureComb.h"
#include "oxMeshNodes.h"
#include "oxOSGWidget.h"
#include "oxRenderer.h"
#include "oxSampleSurfaces.h"
#include "oxScenegraph.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_CombReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { oxHostRooms::install(); }
    void combsImageOnlyWhenTheCombsAreOn();
};

void tst_CombReport::combsImageOnlyWhenTheCombsAreOn()
{
    // A sphere of radius 10 seen from above, cut at z = 0 by one plane.
    oxRenderMesh sphere = oxSampleSurfaces::sphere(10.f, 96);
    sphere.name = "sphere";
    const osg::NodePtr node = oxMeshNodes::makeNode(sphere);
    oxScenegraph::getRoot()->addChild(node);
    oxOSGWidget::setCamera(osg::Pnt3f(0.f, 0.f, 60.f), 45.f);
    oxRenderer::the().setLookAt(osg::Pnt3f(0.f, 0.f, 0.f), osg::Vec3f(0.f, 1.f, 0.f));
    QTemporaryDir dir;
    const std::string path = dir.filePath("report.html").toStdString();
    std::string error;

    QVERIFY2(oxHostReport::write(path, 320, 320, error), error.c_str());
    QFile off(QString::fromStdString(path));
    QVERIFY(off.open(QIODevice::ReadOnly));
    QVERIFY(!off.readAll().contains("Curvature combs"));

    oxHostAnalysisModel* model = oxHostAnalysisModel::the();
    QVERIFY(model->setCombActive(true) && model->setCombSections(1) &&
            model->setCombSectionNormal(osg::Vec3f(0.f, 0.f, 1.f)));
    const bool written = oxHostReport::write(path, 320, 320, error);
    const oxHostAnalysisSettings defaults;
    model->setCombActive(defaults.CombActive);
    model->setCombSections(defaults.CombSections);
    model->setCombSectionNormal(defaults.CombSectionNormal);
    oxScenegraph::getRoot()->subChild(node);
    QVERIFY2(written, error.c_str());
    QFile on(QString::fromStdString(path));
    QVERIFY(on.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(on.readAll());
    const int at = html.indexOf("<h2>Curvature combs</h2>");
    QVERIFY(at > html.indexOf("<h2>Curvature statistics"));
    QVERIFY(html.indexOf("<th>CombSections</th><td>1</td>", at) > 0);
    QVERIFY(html.indexOf("<th>CombScale</th><td>fitted</td>", at) > 0);
    // The image, and the comb's colour in it; the analysis images above have none.
    const QString prefix = "src=\"data:image/png;base64,";
    auto combPixels = [&](int from)
    {
        const int start = html.indexOf(prefix, from) + prefix.size();
        const QImage image = QImage::fromData(
            QByteArray::fromBase64(html.mid(start, html.indexOf('"', start) - start).toLatin1()), "PNG");
        const osg::Color3f c = oxCurvatureComb::color();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
            {
                const QRgb p = image.pixel(x, y);
                count += std::abs(qRed(p) - int(c[0] * 255)) < 40 && std::abs(qGreen(p) - int(c[1] * 255)) < 40 &&
                         std::abs(qBlue(p) - int(c[2] * 255)) < 40;
            }
        return count;
    };
    QVERIFY2(combPixels(at) > 100, qPrintable(QString::number(combPixels(at))));
    QCOMPARE(combPixels(html.indexOf("<h2>Analysis images</h2>")), 0);
}

QTEST_MAIN(tst_CombReport)
#include "tst_combreport.moc"
