// The common jobs in one line: a model file where the script would stand, --analysis KIND and
// --view NAME, on a CAD part and on a mesh, and the viewer opening on a model with the analysis on.
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

namespace
{
typedef OxhostResult Result;

// The model's pixels: those unlike the background, a vertical gradient whose row the left edge shows.
QVector<bool> modelMask(const QImage& image)
{
    QVector<bool> mask(image.width() * image.height());
    for (int y = 0; y < image.height(); ++y)
    {
        const QRgb background = image.pixel(0, y);
        for (int x = 0; x < image.width(); ++x)
        {
            const QRgb c = image.pixel(x, y);
            mask[y * image.width() + x] = std::abs(qRed(c) - qRed(background)) +
                                              std::abs(qGreen(c) - qGreen(background)) +
                                              std::abs(qBlue(c) - qBlue(background)) >
                                          24;
        }
    }
    return mask;
}

double coverage(const QVector<bool>& mask)
{
    return double(mask.count(true)) / mask.size();
}

// Intersection over union of two masks of one size.
double overlap(const QVector<bool>& a, const QVector<bool>& b)
{
    int both = 0, either = 0;
    for (int i = 0; i < a.size(); ++i)
    {
        both += a[i] && b[i];
        either += a[i] || b[i];
    }
    return either ? double(both) / either : 1.0;
}

QVector<bool> flipped(const QVector<bool>& mask, int width, bool vertically)
{
    const int height = mask.size() / width;
    QVector<bool> out(mask.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out[y * width + x] = vertically ? mask[(height - 1 - y) * width + x] : mask[y * width + width - 1 - x];
    return out;
}

// Two-tone stripes: the smaller of the model's dark and light shares, where dark and light
// follow each other along the rows. Plain shading has next to no dark.
double stripes(const QImage& image)
{
    const QVector<bool> mask = modelMask(image);
    int dark = 0, light = 0, changes = 0;
    for (int y = 0; y < image.height(); ++y)
    {
        int last = 0; // -1 dark, 1 light
        for (int x = 0; x < image.width(); ++x)
        {
            if (!mask[y * image.width() + x])
                continue;
            const int g = qGray(image.pixel(x, y));
            const int tone = g < 80 ? -1 : g > 150 ? 1 : 0;
            dark += tone < 0;
            light += tone > 0;
            changes += tone && last && tone != last;
            if (tone)
                last = tone;
        }
    }
    return changes < image.height() / 4 ? 0.0 : double(std::min(dark, light)) / std::max(1, mask.count(true));
}

// The curvature legend at the right edge: its bar runs from blue to red.
bool legend(const QImage& image)
{
    int blue = 0, red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = image.width() * 4 / 5; x < image.width(); ++x)
        {
            const QRgb c = image.pixel(x, y);
            blue += qBlue(c) - qRed(c) > 80;
            red += qRed(c) - qBlue(c) > 80;
        }
    return blue > 30 && red > 30;
}
} // namespace

class tst_OxhostOneLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void analysisKinds_data();
    void analysisKinds();
    void views_data();
    void views();
    void oppositeViewsMirror();
    void modelFileOrScript_data();
    void modelFileOrScript();
    void viewerOpensWithTheAnalysis_data();
    void viewerOpensWithTheAnalysis();
    void viewerOpensOnAModelFile();

private:
    QImage render(const QStringList& args, const QString& name);

    QTemporaryDir m_dir;
    QString m_cad, m_mesh;
};

void tst_OxhostOneLine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_cad = m_dir.filePath("part.step");
    m_mesh = m_dir.filePath("teapot.ply");
    const Result r = oxhost({"--sample", "teapot", "-c",
                             QString("import oxHost\noxHost.writeCadSample('panel', r'%1')\n"
                                     "oxHost.exportCurvature(r'%2')")
                                 .arg(m_cad, m_mesh)});
    QVERIFY2(r.status == 0, qPrintable(r.err));
}

QImage tst_OxhostOneLine::render(const QStringList& args, const QString& name)
{
    const QString path = m_dir.filePath(name + ".png");
    const Result r = oxhost(args + QStringList{"--render", path, "--size", "320x200", "--samples", "1"});
    if (r.status != 0)
        qWarning("%s", qPrintable(r.err));
    return r.status == 0 ? QImage(path) : QImage();
}

void tst_OxhostOneLine::analysisKinds_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("view"); // empty: the three-quarter view
    QTest::addColumn<double>("least"); // the least share of stripes; 0: none, -1: the curvature legend
    for (const QString model : {"cad", "mesh"})
        for (const QString kind : {"zebra", "reflection", "isophotes", "rings", "highlight", "curvature"})
        {
            const double least = kind == "curvature" ? -1.0 : kind == "highlight" ? 0.02 : 0.08;
            QTest::newRow(qPrintable(QString("%1 %2").arg(model, kind))) << model << kind << QString() << least;
        }
    // The panel seen from below faces away from the light plane: zebra stripes it all the same, while
    // the reflection lines of the plane, which hangs above the part, miss what faces down.
    const QString cad = "cad";
    QTest::newRow("zebra from below") << cad << QString("zebra") << QString("bottom") << 0.08;
    QTest::newRow("zebra from the front") << cad << QString("zebra") << QString("front") << 0.08;
    QTest::newRow("reflection from below") << cad << QString("reflection") << QString("bottom") << 0.0;
}

// oxhost part.step --analysis zebra --render z.png: the analysis on, the part in view.
void tst_OxhostOneLine::analysisKinds()
{
    QFETCH(QString, model);
    QFETCH(QString, kind);
    QFETCH(QString, view);
    QFETCH(double, least);
    const QString file = model == "cad" ? m_cad : m_mesh;
    const QStringList where = view.isEmpty() ? QStringList() : QStringList{"--view", view};
    const QImage image = render(QStringList{file, "--analysis", kind} + where, model + "-" + kind + "-" + view);
    QVERIFY(!image.isNull());
    // The edge-on views show less of the panel than the three-quarter view.
    const double covered = coverage(modelMask(image));
    QVERIFY2(covered > (view.isEmpty() ? 0.1 : 0.05), qPrintable(QString::number(covered)));
    // Bands of colour with the legend beside them.
    QCOMPARE(legend(image), least < 0);
    const double share = stripes(image);
    if (least > 0)
        QVERIFY2(share > least, qPrintable(QString::number(share)));
    else if (least == 0)
        QVERIFY2(share <= 0.08, qPrintable(QString::number(share)));
}

void tst_OxhostOneLine::views_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("view");
    for (const char* model : {"cad", "mesh"})
        for (const char* view : {"iso", "top", "bottom", "front", "back", "left", "right"})
            QTest::newRow(qPrintable(QString("%1 %2").arg(model, view))) << QString(model) << QString(view);
}

// Each view frames the model; only iso is what a render without --view shows.
void tst_OxhostOneLine::views()
{
    QFETCH(QString, model);
    QFETCH(QString, view);
    const QString file = model == "cad" ? m_cad : m_mesh;
    const QImage image = render({file, "--view", view}, model + "-" + view);
    const QImage plain = render({file}, model + "-default");
    QVERIFY(!image.isNull() && !plain.isNull());
    const QVector<bool> mask = modelMask(image);
    QVERIFY2(coverage(mask) > 0.05, qPrintable(QString::number(coverage(mask))));
    const double same = overlap(mask, modelMask(plain));
    if (view == "iso")
        QCOMPARE(same, 1.0);
    else
        QVERIFY2(same < 0.95, qPrintable(QString::number(same)));
}

// The teapot stands on Y and is symmetric about z = 0: seen from the top and from the bottom its
// outline is the same, turned upside down (both views have +X to the right).
void tst_OxhostOneLine::oppositeViewsMirror()
{
    const QImage top = render({m_mesh, "--view", "top"}, "mirror-top");
    const QImage bottom = render({m_mesh, "--view", "bottom"}, "mirror-bottom");
    QVERIFY(!top.isNull() && !bottom.isNull());
    const QVector<bool> a = modelMask(top), b = modelMask(bottom);
    const double mirrored = overlap(a, flipped(b, bottom.width(), true));
    const double unturned = overlap(a, b);
    QVERIFY2(mirrored > 0.9, qPrintable(QString::number(mirrored)));
    QVERIFY2(unturned < mirrored - 0.1, qPrintable(QString("%1 %2").arg(unturned).arg(mirrored)));
    QVERIFY(top != bottom);
}

void tst_OxhostOneLine::modelFileOrScript_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    const QString check = "import oxHost, sys\nprint(sys.argv, oxHost.meshes(), oxHost.get('AnalysisActive'))";
    QTest::newRow("options after the model, code")
        << QStringList{"CAD", "--analysis", "rings", "-c", check, "x"} << 0 << "['-c', 'x'] ['part.step'] True";
    QTest::newRow("a script after the model gets the rest") << QStringList{"MESH", "DIR/check.py", "--view", "top"} << 0
                                                            << "['DIR/check.py', '--view', 'top'] ['teapot.ply'] False";
    QTest::newRow("a script without .py") << QStringList{"DIR/check"} << 0 << "['DIR/check'] [] False";
    QTest::newRow("the suffix in capitals") << QStringList{"DIR/PART.STEP", "-c", check} << 0 << "['PART.STEP']";
    QTest::newRow("neither model nor script")
        << QStringList{"DIR/notes.txt"} << 2
        << "\"DIR/notes.txt\" is neither a model file (by its suffix: OBJ, STL, PLY, glTF, FBX, STEP";
    QTest::newRow("binary without a model's suffix") << QStringList{"DIR/photo.jpg"} << 2 << "is neither a model file";
    QTest::newRow("unknown kind")
        << QStringList{"CAD", "--analysis", "draft"} << 2
        << "--analysis needs isophotes, zebra, environment, reflection, rings, highlight or curvature, not \"draft\"";
    QTest::newRow("unknown view") << QStringList{"CAD", "--view", "up"} << 2
                                  << "--view needs iso, top, bottom, front, back, left or right, not \"up\"";
    QTest::newRow("scripted kind and view")
        << QStringList{"CAD", "-c",
                       "import oxHost\nprint(oxHost.analysisKinds(), oxHost.setView('front'))\n"
                       "oxHost.showAnalysis('highlight')\nprint(oxHost.get('AnalysisMode'), "
                       "oxHost.undoText(oxHost.undoCount() - 1))\n"
                       "for bad in (lambda: oxHost.showAnalysis('draft'), lambda: oxHost.setView('up')):\n"
                       "    try:\n        bad()\n    except ValueError as e:\n        print(e)"}
        << 0
        << "['isophotes', 'zebra', 'environment', 'reflection', 'rings', 'highlight', 'curvature'] front\n2 Show "
           "highlight\n"
           "unknown analysis kind \"draft\"; the kinds are isophotes, zebra, environment, reflection, rings, highlight "
           "or "
           "curvature\n"
           "unknown view \"up\"; the views are iso, top, bottom, front, back, left, right";
    QTest::newRow("no display, nothing else to do")
        << QStringList{"CAD"} << 2 << "there is no display to open the viewer on \"CAD\"";
    // Past "--" nothing is an option, but a model file is still the model.
    QTest::newRow("a model after --") << QStringList{"--", "CAD"} << 2
                                      << "there is no display to open the viewer on \"CAD\"";
    QTest::newRow("a model and a script after --") << QStringList{"--", "MESH", "DIR/check.py", "--view", "top"} << 0
                                                   << "['DIR/check.py', '--view', 'top'] ['teapot.ply'] False";
    // A missing file is said as such before the display matters.
    QTest::newRow("a missing CAD file") << QStringList{"DIR/missing.step"} << 1
                                        << "cannot read CAD file \"DIR/missing.step\": no such file";
    QTest::newRow("a missing mesh after --")
        << QStringList{"--", "DIR/missing.stl"} << 1 << "cannot read mesh \"DIR/missing.stl\": no such file";
    QTest::newRow("a missing mesh among options") << QStringList{"--analysis", "rings", "DIR/missing.stl"} << 1
                                                  << "cannot read mesh \"DIR/missing.stl\": no such file";
}

// What stands where the script would: a model by its suffix, a script, or neither.
void tst_OxhostOneLine::modelFileOrScript()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, output);
    QTemporaryDir dir;
    const QString check = "import oxHost, sys\nprint(sys.argv, oxHost.meshes(), oxHost.get('AnalysisActive'))\n";
    QVERIFY(writeTestFile(dir.filePath("check.py"), check.toUtf8()));
    QVERIFY(writeTestFile(dir.filePath("check"), check.toUtf8()));
    QVERIFY(writeTestFile(dir.filePath("notes.txt"), "Shopping list\nbread\n"));
    QVERIFY(writeTestFile(dir.filePath("photo.jpg"), QByteArray("\xff\xd8\xff\xe0\0\x10JFIF\0", 11)));
    QVERIFY(QFile::copy(m_cad, dir.filePath("PART.STEP")));
    args.replaceInStrings("CAD", m_cad).replaceInStrings("MESH", m_mesh).replaceInStrings("DIR", dir.path());
    output.replace("\"CAD\"", "\"" + m_cad + "\"").replace("DIR", dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const Result r = oxhost(args, QByteArray(), env);
    QVERIFY2(r.status == status, qPrintable(r.out + r.err));
    QVERIFY2((status == 0 ? r.out : r.err).contains(output), qPrintable(r.out + r.err));
}

void tst_OxhostOneLine::viewerOpensWithTheAnalysis_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("stripes");
    QTest::newRow("zebra by default") << QStringList() << true;
    QTest::newRow("--analysis chooses") << QStringList{"--analysis", "curvature"} << false;
    QTest::newRow("a project decides") << QStringList{"--project", "PROJECT"} << false;
}

// The viewer on a model: the analysis on as it opens, seen in the image --render writes of it.
// The window stays open after the image, so the test closes it.
void tst_OxhostOneLine::viewerOpensWithTheAnalysis()
{
    QFETCH(QStringList, args);
    QFETCH(bool, stripes);
    QTemporaryDir dir;
    const QString project = dir.filePath("plain.json");
    QVERIFY(writeTestFile(project, "{\"values\": {}}"));
    args.replaceInStrings("PROJECT", project);
    const QString path = dir.filePath("viewer.png");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(OXHOST, QStringList{"--gui", m_cad} + args +
                              QStringList{"--render", path, "--size", "320x200", "--samples", "1"});
    QVERIFY(process.waitForStarted());
    QImage image;
    for (int i = 0; i < 1200 && image.isNull() && process.state() == QProcess::Running; ++i)
    {
        process.waitForFinished(100);
        image = QImage(path);
    }
    const bool open = process.state() == QProcess::Running;
    process.kill();
    process.waitForFinished();
    QVERIFY2(open, qPrintable(process.readAllStandardError()));
    QVERIFY(!image.isNull());
    // Curvature's saturated bands are dark too: the legend tells it.
    QCOMPARE(legend(image), args.contains("curvature"));
    if (!legend(image))
        QCOMPARE(::stripes(image) > 0.08, stripes);
}

// oxhost part.step with a display opens the viewer and stays; the test gives it a display name
// and Qt's offscreen platform, and closes it once the part must have been read.
void tst_OxhostOneLine::viewerOpensOnAModelFile()
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", ":99");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(OXHOST, {m_cad});
    QVERIFY(process.waitForStarted());
    process.closeWriteChannel(); // a console would end at once
    const bool ended = process.waitForFinished(8000);
    process.kill();
    process.waitForFinished();
    QVERIFY2(!ended, qPrintable(process.readAllStandardError()));
}

QTEST_GUILESS_MAIN(tst_OxhostOneLine)
#include "tst_oxhostoneline.moc"
