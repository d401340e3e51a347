// The environment image through a project: its path and content hash saved in the file and read
// back, and what a load says when the image is missing or has changed since.
#include "oxHostAnalysisModel.h"
#include "oxHostEnvironmentProject.h"
#include "oxProjectFile.h"

#include "oxMessage.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

namespace P = oxHostEnvironmentProject;
typedef oxHostAnalysisModel M;

class tst_HostEnvironment : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void loadSaysWhatBecameOfTheImage_data();
    void loadSaysWhatBecameOfTheImage();
    void projectWithoutTheRowsLoadsTheDefaults();

private:
    bool writeImage(QRgb colour);
    QTemporaryDir _dir;
    QString _image;
};

bool tst_HostEnvironment::writeImage(QRgb colour)
{
    QImage image(8, 4, QImage::Format_RGB32);
    image.fill(colour);
    return image.save(_image);
}

void tst_HostEnvironment::init()
{
    _image = _dir.filePath("studio.png");
    QVERIFY(writeImage(qRgb(200, 10, 10)));
    M::the()->load(oxMessage());
}

void tst_HostEnvironment::loadSaysWhatBecameOfTheImage_data()
{
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("message");
    QTest::newRow("as saved") << "keep" << QString();
    QTest::newRow("changed") << "change"
                             << "the environment image \"%1\" has changed since the project was saved; it is shown as "
                                "it is now";
    QTest::newRow("missing") << "remove"
                             << "the environment image \"%1\" is missing or cannot be read; the softbox studio "
                                "stands in for it";
}

// Saved through a project file and read back: every setting as it was, whatever became of the file.
void tst_HostEnvironment::loadSaysWhatBecameOfTheImage()
{
    QFETCH(QString, after);
    QFETCH(QString, message);
    QVERIFY(M::the()->setEnvironmentActive(true));
    QVERIFY(M::the()->setEnvironmentMap(oxEnvironmentImage));
    QVERIFY(M::the()->setEnvironmentImage(_image.toStdString()));
    QVERIFY(M::the()->setEnvironmentTurn(30.f));
    QVERIFY(M::the()->setStripesCount(12u));
    oxMessage saved;
    M::the()->save(saved);
    P::save(saved);
    std::string text, error;
    QVERIFY2(oxProjectFile::format(saved, "studio.oxp", text, error), error.c_str());
    QVERIFY(QString::fromStdString(text).contains(QString::fromStdString(P::contentHash(_image.toStdString()))));

    if (after == "change")
        QVERIFY(writeImage(qRgb(10, 200, 10)));
    else if (after == "remove")
        QVERIFY(QFile::remove(_image));
    M::the()->load(oxMessage());
    oxMessage read;
    QVERIFY2(oxProjectFile::parse(text, "studio.oxp", read, error), error.c_str());
    M::the()->load(read);
    QCOMPARE(QString::fromStdString(P::check(read)), message.arg(_image));
    QCOMPARE(M::the()->getEnvironmentImage(), _image.toStdString());
    QCOMPARE(M::the()->getEnvironmentMap(), oxEnvironmentImage);
    QCOMPARE(M::the()->getEnvironmentActive(), true);
    QCOMPARE(M::the()->getEnvironmentTurn(), 30.f);
    QCOMPARE(M::the()->getStripesCount(), 12u);
}

// A project saved before the environment: its rows load as their defaults, and no image is named.
void tst_HostEnvironment::projectWithoutTheRowsLoadsTheDefaults()
{
    QVERIFY(M::the()->setEnvironmentImage(_image.toStdString()));
    QVERIFY(M::the()->setEnvironmentBlend(0.3f));
    oxMessage old;
    std::string error;
    QVERIFY2(oxProjectFile::parse("{\"format\": \"oxhost project\", \"version\": 1, \"values\": {\"Host Stripes "
                                  "Count\": {\"type\": \"unsigned\", \"value\": 20}}}",
                                  "old.oxp", old, error),
             error.c_str());
    M::the()->load(old);
    const oxHostAnalysisSettings defaults;
    QCOMPARE(M::the()->getEnvironmentImage(), defaults.EnvironmentImage);
    QCOMPARE(M::the()->getEnvironmentBlend(), defaults.EnvironmentBlend);
    QCOMPARE(M::the()->getEnvironmentMap(), defaults.EnvironmentMap);
    QCOMPARE(M::the()->getStripesCount(), 20u);
    QCOMPARE(QString::fromStdString(P::check(old)), QString());
}

QTEST_GUILESS_MAIN(tst_HostEnvironment)
#include "tst_hostenvironment.moc"
