// Exact per-pixel shading of CAD faces: stripes follow the surface, not its tessellation.
#include "OSGTransform3D.h"
#include "oxCadImporter.h"
#include "oxMeshNodes.h"
#include "oxCadShape.h"
#include "oxProbe.h"
#include "oxRaytracer.h"
#include "oxRenderTestSupport.h"
#include "oxSampleSurfaces.h"

#include <BRepGProp_Face.hxx>
#include <BRep_Tool.hxx>
#include <GeomAPI_ProjectPointOnSurf.hxx>
#include <IntCurvesFace_ShapeIntersector.hxx>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <TopoDS.hxx>
#include <gp_Lin.hxx>

#include <cmath>
#include <random>

namespace
{
// Black isophote stripes on white, unlit, hard edges; the light towards the viewer, so that on a
// sphere seen from the front the stripes are rings at the radii R sin(k * 180 / lines).
oxAnalysisSettings isophotes(int lines, const osg::Vec3f& light)
{
    oxAnalysisSettings s;
    s.ShadingMode = 0;
    s.AnalysisMode = 0;
    s.LineMode = 1;
    s.Isolines = osg::UInt32(lines);
    s.StripeThickness = 0.5f;
    s.StripeSharpness = 1.f;
    s.BaseColor = osg::Color3f(1.f, 1.f, 1.f);
    s.StripeColor = osg::Color3f(0.f, 0.f, 0.f);
    s.LinearLightDirection = light;
    return s;
}

// The largest distance, in pixels, between a stripe edge anywhere in the image and the nearest
// analytic ring of a sphere of that radius in pixels, centred in the image. An edge lies between
// two neighbouring pixels of which one is stripe and one surface.
double worstEdge(const QImage& image, double radius, int lines)
{
    std::vector<double> rings;
    for (int k = 1; 2 * k < lines; ++k)
        rings.push_back(radius * std::sin(M_PI * k / lines));
    const double centre = image.width() / 2.0;
    auto surface = [](QRgb c) { return qGray(c) < 60 || qGray(c) > 200; };
    double worst = 0;
    for (int y = 0; y + 1 < image.height(); ++y)
        for (int x = 0; x + 1 < image.width(); ++x)
        {
            const QRgb a = image.pixel(x, y);
            for (const QPoint& step : {QPoint(1, 0), QPoint(0, 1)})
            {
                const QRgb b = image.pixel(x + step.x(), y + step.y());
                if (!surface(a) || !surface(b) || (qGray(a) < 128) == (qGray(b) < 128))
                    continue;
                const double at = std::hypot(x + 0.5 + 0.5 * step.x() - centre, y + 0.5 + 0.5 * step.y() - centre);
                if (at > 0.98 * radius)
                    continue; // the silhouette of the tessellation, not a stripe
                double nearest = 1e9;
                for (double r : rings)
                    nearest = std::min(nearest, std::fabs(at - r));
                worst = std::max(worst, nearest);
            }
        }
    return worst;
}
// A CAD sample written by Open CASCADE as file (its suffix says how) and read back coarsely.
bool coarseSample(const char* sample, const char* file, double angleDegrees, double deflection, oxRenderMesh& mesh,
                  std::shared_ptr<oxCadMesh>& cad, std::string& error)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(file).toStdString();
    oxCadOptions coarse;
    coarse.angleDegrees = angleDegrees;
    coarse.deflection = deflection;
    return oxCadImporter::writeSample(sample, path, error) && oxCadImporter::load(path, coarse, mesh, cad, error);
}

// The CAD mesh's node under a transform node with the placement, as the host moves a model.
osg::NodePtr placedModel(const oxRenderMesh& mesh, const std::shared_ptr<const oxCadMesh>& cad,
                         const osg::Matrix& placement)
{
    const osg::NodePtr node = oxMeshNodes::makeNode(mesh);
    oxCadMesh::attach(osg::GeometryPtr::dcast(node->getCore()), cad);
    osg::Quaternion rotation;
    rotation.setValue(placement);
    const osg::Transform3DPtr transform = osg::Transform3D::create();
    transform->setTranslation(placement.getColumn3(3));
    transform->setRotationAsQuaternion(rotation);
    const osg::NodePtr root = osg::Node::create();
    root->setCore(transform);
    root->addChild(node);
    return root;
}

osg::Vec3f turned(const osg::Matrix& m, const osg::Vec3f& v)
{
    osg::Vec3f out;
    m.multMatrixVec(v, out);
    return out;
}

osg::Pnt3f placed(const osg::Matrix& m, const osg::Pnt3f& p)
{
    osg::Pnt3f out;
    m.multMatrixPnt(p, out);
    return out;
}
} // namespace

class tst_CadShading : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isophotesFollowTheExactSurface();
    void exactCurvatureShading();
    void movedModelKeepsExactShading();
    void normalsNearEdgesAsOpenCascade_data();
    void normalsNearEdgesAsOpenCascade();
    void viewFramesModelsOfAnySize_data();
    void viewFramesModelsOfAnySize();
};

void tst_CadShading::isophotesFollowTheExactSurface()
{
    std::string error;
    auto mesh = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad;
    QVERIFY2(coarseSample("sphere", "sphere.brep", 10, 0.01, *mesh, cad, error), error.c_str());

    oxRenderScene scene;
    scene.setMeshes({mesh}, {cad});
    QVERIFY(scene.exactShading());
    oxRenderCamera camera;
    // From the side, across the sphere's axis (z): the rings cross the triangles every which way.
    camera.from = osg::Pnt3f(50.f, 0.f, 0.f);
    camera.up = osg::Vec3f(0.f, 0.f, 1.f);
    camera.orthographic = true;
    camera.orthographicHeight = 22.f;
    const int size = 1600, lines = 10;
    const double radius = 10.0 * size / 22.0;
    const oxAnalysisShader shader(isophotes(lines, osg::Vec3f(1.f, 0.f, 0.f)), true);
    const QImage exact = oxRaytracer().render(scene, camera, shader, size, size).copy();
    scene.setExactShading(false);
    const QImage interpolated = oxRaytracer().render(scene, camera, shader, size, size).copy();
    const double exactError = worstEdge(exact, radius, lines),
                 interpolatedError = worstEdge(interpolated, radius, lines);
    qInfo("%zu triangles; worst stripe edge off the analytic ring: exact %.2f px, interpolated %.2f px",
          mesh->triangleCount(), exactError, interpolatedError);
    QVERIFY2(exactError <= 1.0, qPrintable(QString::number(exactError)));
    // Interpolated vertex normals put the edges a few pixels off (2.4 px when this was written).
    QVERIFY2(interpolatedError > 2.0 && interpolatedError > 4 * exactError,
             qPrintable(QString::number(interpolatedError)));
}

void tst_CadShading::exactCurvatureShading()
{
    // Mean curvature of a torus seen from above: exact per pixel, the colour follows the
    // analytic value; the vertex data interpolated over coarse triangles does not.
    std::string error;
    auto mesh = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad;
    QVERIFY2(coarseSample("torus", "torus.step", 20, 0.02, *mesh, cad, error), error.c_str());
    oxRenderScene scene;
    scene.setMeshes({mesh}, {cad});
    QVERIFY(scene.curvatures(0).exact);

    oxAnalysisSettings s;
    s.AnalysisMode = 3;
    s.ShadingMode = 0;
    s.CurvatureEvaluationType = 1; // mean
    s.CurvatureDrawScale = 8.f;
    const oxAnalysisShader shader(s, true);
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(0.f, 0.f, 80.f);
    camera.orthographic = true;
    camera.orthographicHeight = 52.f;
    const int size = 520;
    auto worst = [&](const QImage& image)
    {
        double error = 0;
        for (int x = size / 2 + 10 * 20 / 2 + 1; x < size / 2 + 25 * 10 - 1; ++x)
        {
            // Along +x at y = 0 the top of the tube: rho from the axis, phi from the outer equator.
            const double rho = (x + 0.5 - size / 2.0) * 52.0 / size;
            const double cosPhi = (rho - 20) / 5, sinPhi = std::sqrt(std::max(0.0, 1 - cosPhi * cosPhi));
            if (sinPhi < 0.3)
                continue;
            const double mean = 0.5 * (1 / 5.0 + cosPhi / (20 + 5 * cosPhi));
            const osg::Color3f expected = shader.curvatureColor(float(mean * 8));
            const QRgb c = image.pixel(x, size / 2);
            error = std::max({error, std::fabs(qRed(c) / 255.0 - expected[0]),
                              std::fabs(qGreen(c) / 255.0 - expected[1]), std::fabs(qBlue(c) / 255.0 - expected[2])});
        }
        return error;
    };
    const double exactError = worst(oxRaytracer().render(scene, camera, shader, size, size).copy());
    scene.setExactShading(false);
    const double interpolatedError = worst(oxRaytracer().render(scene, camera, shader, size, size).copy());
    qInfo("worst colour channel off the analytic mean curvature: exact %.4f, interpolated %.4f", exactError,
          interpolatedError);
    QVERIFY2(exactError < 3.0 / 255, qPrintable(QString::number(exactError)));
}

// A CAD model moved rigidly is shaded from its exact surfaces still: each probe's normal is the
// torus's own normal at the hit (Open CASCADE's torus of radii 20 and 5 about z), turned with the
// model, and the image is the unmoved model's seen from the camera and light moved with it.
void tst_CadShading::movedModelKeepsExactShading()
{
    std::string error;
    auto mesh = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad;
    QVERIFY2(coarseSample("torus", "torus.step", 20, 0.02, *mesh, cad, error), error.c_str());
    osg::Matrix placement, back;
    placement.setTransform(osg::Vec3f(4.f, -3.f, 7.f), osg::Quaternion(osg::Vec3f(1.f, 2.f, 0.5f), 0.6f),
                           osg::Vec3f(1.f, 1.f, 1.f));
    back = placement;
    back.invert();
    oxRenderScene still, moved;
    still.sync(placedModel(*mesh, cad, osg::Matrix()));
    moved.sync(placedModel(*mesh, cad, placement));

    double worst = 0;
    int probes = 0;
    for (float x = -24.f; x <= 24.f; x += 1.5f)
        for (float y = -24.f; y <= 24.f; y += 1.5f)
        {
            oxProbe hit;
            if (!oxProbe::trace(moved, placed(placement, osg::Pnt3f(x, y, 30.f)),
                                turned(placement, osg::Vec3f(0.f, 0.f, -1.f)), hit))
                continue;
            const osg::Pnt3f q = placed(back, hit.point);
            osg::Vec3f ring(q[0], q[1], 0.f);
            ring.normalize();
            osg::Vec3f exact = q - osg::Pnt3f(ring * 20.f);
            exact.normalize();
            // atan2 of the cross and dot products: acos of a float dot is coarse near 0.
            const osg::Vec3f e = turned(placement, exact);
            const double angle = std::atan2(double(hit.normal.cross(e).length()), double(hit.normal.dot(e)));
            worst = std::max(worst, angle);
            ++probes;
        }
    qInfo("%d probes; worst angle to the exact normal %.2e rad", probes, worst);
    QVERIFY(probes > 300);
    // Interpolated over triangles of 20 degrees the normals are off by degrees.
    QVERIFY2(worst < 1e-4, qPrintable(QString::number(worst)));

    const osg::Vec3f light(0.3f, -0.5f, 1.f);
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(30.f, -60.f, 70.f);
    camera.up = osg::Vec3f(0.f, 0.f, 1.f);
    const int size = 300;
    const QImage image =
        oxRaytracer().render(still, camera, oxAnalysisShader(isophotes(12, light), true), size, size).copy();
    oxRenderCamera movedCamera = camera;
    movedCamera.from = placed(placement, camera.from);
    movedCamera.at = placed(placement, camera.at);
    movedCamera.up = turned(placement, camera.up);
    const QImage seen =
        oxRaytracer()
            .render(moved, movedCamera, oxAnalysisShader(isophotes(12, turned(placement, light)), true), size, size)
            .copy();
    int model = 0, different = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
        {
            const QRgb a = image.pixel(x, y), b = seen.pixel(x, y);
            model += qRed(a) == qBlue(a);
            different += !near(a, b, 8);
        }
    qInfo("%d of %d model pixels differ", different, model);
    QVERIFY(model > size * size / 10);
    QVERIFY2(different <= model / 1000, qPrintable(QString::number(different)));
}

// Of the faces where Open CASCADE has the ray meet the part, the one met nearest to at (the
// renderer's hit), and that face's normal where it comes closest to at: on the right face, the
// point's own normal. False where the ray misses. (Not the first face met: where the triangles
// let a ray pass a bulge of the exact surface, the renderer shades the face behind it.)
bool openCascadeNormal(IntCurvesFace_ShapeIntersector& shape, const gp_Pnt& origin, const gp_Dir& direction,
                       const gp_Pnt& at, gp_Pnt& hit, gp_Vec& normal)
{
    shape.Perform(gp_Lin(origin, direction), 0, RealLast());
    if (!shape.IsDone() || shape.NbPnt() == 0)
        return false;
    int first = 1;
    for (int i = 2; i <= shape.NbPnt(); ++i)
        if (shape.Pnt(i).SquareDistance(at) < shape.Pnt(first).SquareDistance(at))
            first = i;
    hit = shape.Pnt(first);
    const TopoDS_Face& face = shape.Face(first);
    GeomAPI_ProjectPointOnSurf projection(at, BRep_Tool::Surface(face));
    if (projection.NbPoints() == 0)
        return false;
    double u, v;
    projection.LowerDistanceParameters(u, v);
    gp_Pnt on;
    BRepGProp_Face(face).Normal(u, v, on, normal);
    return normal.Magnitude() > 0;
}

// A ray and the point and normal the renderer has where it hits.
struct HitRay
{
    osg::Pnt3f origin, point;
    osg::Vec3f direction, normal;
};

// One generator and its distributions for the whole test, so that its rays are the same every run.
struct Random
{
    std::mt19937 engine{12};
    std::normal_distribution<float> gauss;
    std::uniform_real_distribution<float> uniform{0.f, 1.f};

    float unit() { return uniform(engine); }
    osg::Vec3f direction()
    {
        osg::Vec3f d(gauss(engine), gauss(engine), gauss(engine));
        d.normalize();
        return d;
    }
};

// Probes towards random points of random triangles, from random sides; the exact hits.
std::vector<HitRay> probeRays(const oxRenderScene& scene, const oxRenderMesh& mesh, double size, Random& random)
{
    std::vector<HitRay> rays;
    for (int i = 0; i < 400; ++i)
    {
        const size_t t = size_t(random.unit() * float(mesh.triangleCount() - 1));
        float a = random.unit(), b = random.unit();
        if (a + b > 1)
            a = 1 - a, b = 1 - b;
        const osg::UInt32* c = &mesh.indices[3 * t];
        const osg::Pnt3f target = mesh.positions[c[0]] + (mesh.positions[c[1]] - mesh.positions[c[0]]) * a +
                                  (mesh.positions[c[2]] - mesh.positions[c[0]]) * b;
        const osg::Vec3f direction = random.direction();
        const osg::Pnt3f origin = target - direction * float(size);
        oxProbe probe;
        if (oxProbe::trace(scene, origin, direction, probe) && probe.exact)
            rays.push_back({origin, probe.point, direction, probe.normal});
    }
    return rays;
}

// Every other pixel's hit of three orthographic frames from random sides.
std::vector<HitRay> frameRays(const oxRenderScene& scene, const oxCadMesh& cad, Random& random)
{
    const double size = cad.model->size();
    osg::Pnt3f min, max;
    scene.bounds(min, max);
    const osg::Pnt3f centre = min + (max - min) * 0.5f;
    std::vector<HitRay> rays;
    for (int view = 0; view < 3; ++view)
    {
        oxRenderCamera camera;
        camera.from = centre + random.direction() * float(size);
        camera.at = centre;
        camera.orthographic = true;
        camera.frame(min, max, 1.f);
        oxSurfaceBuffer::Key key;
        key.camera = camera;
        key.width = key.height = 120;
        oxSurfaceBuffer buffer;
        oxRaytracer().render(scene, key, oxAnalysisShader(oxAnalysisSettings(), true), buffer);
        for (int y = 0; y < key.height; y += 2)
            for (int x = 0; x < key.width; x += 2)
            {
                oxSurfaceBuffer::Hit hit;
                if (buffer.hit(x, y, hit))
                    rays.push_back({hit.point - hit.direction * float(size), hit.point, hit.direction, hit.normal});
            }
    }
    return rays;
}

// Rays at random points of a real part (linkrods.step from Debian's occt-misc), through the probe
// and through a frame's surface buffer: the normal on the face the ray meets, also in the band
// along an edge where the triangle hit belongs to the neighbouring face, as Open CASCADE has it.
void tst_CadShading::normalsNearEdgesAsOpenCascade_data()
{
    // In degrees. Hits are kept in floats, which on the part's small fillets turns the normal by
    // about 1e-4 degrees; a frame takes the normal where the last Newton step started when that step
    // turns it by less than 1e-4 radians. The neighbouring face's normal was off by tenths of a degree.
    QTest::addColumn<bool>("frame");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("probe") << false << 1e-3;
    QTest::newRow("frame") << true << 1e-2;
}

void tst_CadShading::normalsNearEdgesAsOpenCascade()
{
    QFETCH(bool, frame);
    QFETCH(double, tolerance);
    const std::string path = "/usr/share/opencascade/data/step/linkrods.step";
    if (!QFileInfo::exists(QString::fromStdString(path)))
        QSKIP("linkrods.step is not installed (Debian's occt-misc)");
    auto mesh = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad;
    std::string error;
    QVERIFY2(oxCadImporter::load(path, oxCadOptions(), *mesh, cad, error), error.c_str());
    oxRenderScene scene;
    scene.setMeshes({mesh}, {cad});
    const double size = cad->model->size();
    IntCurvesFace_ShapeIntersector shape;
    shape.Load(cad->model->impl().shape, 1e-9 * size);

    Random random;
    const std::vector<HitRay> rays = frame ? frameRays(scene, *cad, random) : probeRays(scene, *mesh, size, random);
    int compared = 0, off = 0;
    double worst = 0;
    for (const HitRay& ray : rays)
    {
        gp_Pnt point;
        gp_Vec normal;
        if (!openCascadeNormal(shape, gp_Pnt(ray.origin[0], ray.origin[1], ray.origin[2]),
                               gp_Dir(ray.direction[0], ray.direction[1], ray.direction[2]),
                               gp_Pnt(ray.point[0], ray.point[1], ray.point[2]), point, normal))
            continue;
        // Where the triangles and the exact surfaces differ in what the ray meets (a silhouette),
        // or a ray grazing the surface leaves the one Newton step's point off it, there is
        // nothing to compare.
        const gp_Pnt at(ray.point[0], ray.point[1], ray.point[2]);
        const gp_Lin line(gp_Pnt(ray.origin[0], ray.origin[1], ray.origin[2]),
                          gp_Dir(ray.direction[0], ray.direction[1], ray.direction[2]));
        if (point.Distance(at) > 1e-3 * size || line.Distance(at) > 1e-5 * size)
            continue;
        ++compared;
        const gp_Vec n(ray.normal[0], ray.normal[1], ray.normal[2]);
        const double degrees =
            std::acos(std::min(1.0, std::fabs(n.Dot(normal)) / (n.Magnitude() * normal.Magnitude()))) * 180 / M_PI;
        worst = std::max(worst, degrees);
        off += degrees > tolerance;
    }
    qInfo("%d of %d hits compared with Open CASCADE's, %d off by more than %g degrees, worst %.2g degrees", compared,
          int(rays.size()), off, tolerance, worst);
    QVERIFY(compared > int(rays.size()) * 9 / 10);
    // One frame hit in these two thousand still reads a normal 2.5 degrees off, on a face its
    // trim takes in; before the face was chosen by its trim, 17 did, and 3 of the probes.
    QVERIFY2(off <= compared / 1000, qPrintable(QString("%1 of %2 hits off").arg(off).arg(compared)));
}

void tst_CadShading::viewFramesModelsOfAnySize_data()
{
    // Lengths stay in the file's unit: a 0.1 mm part in metres, a 40 m assembly in millimetres.
    QTest::addColumn<float>("radius");
    QTest::newRow("0.1 mm in metres") << 5e-5f;
    QTest::newRow("40 m in millimetres") << 2e4f;
}

void tst_CadShading::viewFramesModelsOfAnySize()
{
    QFETCH(float, radius);
    // The framed view of a model shows it as large as that of the same model at radius 10.
    auto covered = [](float r, bool orthographic)
    {
        oxRenderScene scene;
        scene.setMeshes({std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(r, 48))});
        osg::Pnt3f min, max;
        scene.bounds(min, max);
        oxRenderCamera camera;
        camera.from = osg::Pnt3f(3.f * r, 2.f * r, 10.f * r);
        camera.orthographic = orthographic;
        camera.frame(min, max, 1.f);
        const QImage image =
            oxRaytracer().render(scene, camera, oxAnalysisShader(oxAnalysisSettings(), false), 100, 100);
        int hits = 0; // grey model pixels; the background is bluish
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                hits += qRed(image.pixel(x, y)) == qBlue(image.pixel(x, y));
        return hits;
    };
    for (const bool orthographic : {false, true})
    {
        const int reference = covered(10.f, orthographic), hits = covered(radius, orthographic);
        QVERIFY(reference > 1500);
        QVERIFY2(std::abs(hits - reference) <= reference / 50,
                 qPrintable(QString("%1 against %2").arg(hits).arg(reference)));
    }
}

QTEST_APPLESS_MAIN(tst_CadShading)
#include "tst_cadshading.moc"
