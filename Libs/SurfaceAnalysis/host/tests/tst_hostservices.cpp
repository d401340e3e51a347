// Python first: it may redefine feature macros that later headers depend on.
#include <Python.h>

#include "OSGFieldContainerFactory.h"
#include "oxBaseService.h"
#include "oxKernelServiceFactory.h"
#include "oxLog.h"
#include "oxPythonRegister.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxScript.h"

#include <QTemporaryFile>
#include "testsupport.h"

#include <QtTest>

#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace
{
class ProbeService : public QObject
{
};

// A built-in module the level 0 start-up adds to the interpreter.
PyObject* probeAnswer(PyObject*, PyObject*)
{
    return PyLong_FromLong(42);
}
PyMethodDef s_probeMethods[] = {{"answer", probeAnswer, METH_NOARGS, nullptr}, {nullptr, nullptr, 0, nullptr}};
PyModuleDef s_probeModule = {
    PyModuleDef_HEAD_INIT, "hostprobe", nullptr, -1, s_probeMethods, nullptr, nullptr, nullptr, nullptr};
PyObject* PyInit_hostprobe()
{
    return PyModule_Create(&s_probeModule);
}

std::vector<std::pair<int, bool>> s_levelCalls; // level, whether the interpreter ran

void probeStartup(oxPythonRegisterFactory::Level level)
{
    s_levelCalls.emplace_back(int(level), Py_IsInitialized() != 0);
    if (level == oxPythonRegisterFactory::BeforeInitialize)
        PyImport_AppendInittab("hostprobe", PyInit_hostprobe);
    else if (level == oxPythonRegisterFactory::AfterInitialize)
    {
        oxScript::run("import hostprobe");
        oxScript::run("from hostprobe import *");
    }
}

std::vector<int> s_otherLevels;
void otherStartup(oxPythonRegisterFactory::Level level)
{
    s_otherLevels.push_back(int(level));
}

// Registered while static objects are constructed, as a plug-in library does when it is loaded.
oxPythonRegister s_probeRegister(probeStartup);

bool registered(oxPythonRegisterFactory::Function function)
{
    const auto functions = oxPythonRegisterFactory::functions();
    return std::count(functions.begin(), functions.end(), function) == 1;
}
} // namespace

class tst_HostServices : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanupTestCase();
    void serviceLookup_data();
    void serviceLookup();
    void destroyedServiceLeavesRegistry();
    void replacedRecordHasNewIdAndOldIdFindsNothing();
    void startupLevelsRunAroundInterpreterStart();
    void scriptLineRunsInMainNamespace();
    void registerObjectUnregistersOnDestruction();
};

void tst_HostServices::cleanupTestCase()
{
    oxRaytracingManager::removeRaytracingUtils();
    oxScript::finalize();
}

void tst_HostServices::serviceLookup_data()
{
    QTest::addColumn<int>("entry"); // 0 none, 1 entry without service, 2 service
    QTest::addColumn<QString>("line");

    const char* name = typeid(ProbeService).name();
    QTest::newRow("not registered") << 0
                                    << QString::asprintf("oxKernelServiceFactory: couldn't find class '%s'!\n", name);
    QTest::newRow("entry without service")
        << 1 << QString::asprintf("oxKernelServiceFactory: service '%s' is NULL!\n", name);
    QTest::newRow("registered") << 2 << QString();
}

void tst_HostServices::serviceLookup()
{
    QFETCH(int, entry);
    QFETCH(QString, line);

    ProbeService service;
    oxKernelServiceFactory& factory = oxKernelServiceFactory::the();
    if (entry == 1)
        factory.registerService<ProbeService>(nullptr);
    else if (entry == 2)
        factory.registerService(&service);

    StderrCapture capture;
    ProbeService* found = factory.get<ProbeService>();
    QCOMPARE(capture.text(), line);
    QCOMPARE(found, entry == 2 ? &service : nullptr);

    QCOMPARE(factory.removeService<ProbeService>(), entry != 0);
    QVERIFY(!factory.hasEntry<ProbeService>());
}

void tst_HostServices::destroyedServiceLeavesRegistry()
{
    oxKernelServiceFactory& factory = oxKernelServiceFactory::the();
    {
        oxBaseService service;
        factory.registerService(&service);
        QSignalSpy spy(factory.get<oxBaseService>(), &oxBaseService::init);
        Q_EMIT service.init();
        QCOMPARE(spy.count(), 1);
    }
    StderrCapture capture;
    QCOMPARE(factory.get<oxBaseService>(), static_cast<oxBaseService*>(nullptr));
    QCOMPARE(capture.text(),
             QString::asprintf("oxKernelServiceFactory: couldn't find class '%s'!\n", typeid(oxBaseService).name()));
}

void tst_HostServices::replacedRecordHasNewIdAndOldIdFindsNothing()
{
    osg::FieldContainerFactory* containers = osg::FieldContainerFactory::the();
    QCOMPARE(oxRaytracingManager::getRaytracingUtils(), static_cast<oxRaytracingUtilsBase*>(nullptr));
    oxRaytracingUtilsBase* utils = oxRaytracingManager::createRaytracingUtils();
    QCOMPARE(oxRaytracingManager::getRaytracingUtils(), utils);
    const osg::UInt32 oldId = utils->getSurfaceAnalysisAttachment()->getId();

    osg::SurfaceAnalysisAttachmentPtr second = utils->replaceAttachment();
    QVERIFY(second->getId() != oldId);
    QVERIFY(utils->getSurfaceAnalysisAttachment() == second);
    QVERIFY(containers->getContainer(oldId) == osg::NullFC);

    utils->removeAttachment();
    QVERIFY(utils->getSurfaceAnalysisAttachment() == osg::NullFC);
    utils->setAttachment(second);
    QVERIFY(utils->getSurfaceAnalysisAttachment() == second);
    second = osg::NullFC;

    utils->setAnalysisRaytracing(true);
    utils->setAnalysisRaytracing(true);
    QCOMPARE(utils->getAnalysisRaytracing(), true);
    QCOMPARE(utils->analysisRaytracingCalls(), 2);

    // The record dies with the utilities that own it.
    const osg::UInt32 lastId = utils->getSurfaceAnalysisAttachment()->getId();
    oxRaytracingManager::removeRaytracingUtils();
    QCOMPARE(oxRaytracingManager::getRaytracingUtils(), static_cast<oxRaytracingUtilsBase*>(nullptr));
    QVERIFY(containers->getContainer(lastId) == osg::NullFC);
}

void tst_HostServices::startupLevelsRunAroundInterpreterStart()
{
    QVERIFY(registered(probeStartup));
    QVERIFY(!Py_IsInitialized());

    QVERIFY(oxScript::initialize());
    QVERIFY(Py_IsInitialized());
    const std::vector<std::pair<int, bool>> expected = {{0, false}, {1, true}};
    QCOMPARE(s_levelCalls, expected);

    // A second start is refused and runs no start-up function.
    QVERIFY(!oxScript::initialize());
    QCOMPARE(s_levelCalls, expected);
}

void tst_HostServices::scriptLineRunsInMainNamespace()
{
    // Imported by the level 1 start-up, by name and into __main__.
    QVERIFY(oxScript::run("assert hostprobe.answer() == 42"));
    QVERIFY(oxScript::run("assert answer() == 42"));
    QVERIFY(oxScript::run("kept = 5"));
    QVERIFY(oxScript::run("import __main__; assert __main__.kept == 5"));

    oxLog::clear();
    oxLog::setEcho(false);
    {
        StderrCapture capture; // Python's traceback
        QCOMPARE(oxScript::run("raise ValueError('probe')"), false);
        QVERIFY(capture.text().contains("ValueError: probe"));
    }
    oxLog::setEcho(true);
    QCOMPARE(oxLog::lines(), std::vector<std::string>{
                                 "oxScript::run: the script line \"raise ValueError('probe')\" raised an exception"});
}

void tst_HostServices::registerObjectUnregistersOnDestruction()
{
    {
        oxPythonRegister other(otherStartup);
        QVERIFY(registered(otherStartup));
        oxPythonRegisterFactory::run(oxPythonRegisterFactory::Level(7));
    }
    QVERIFY(!registered(otherStartup));
    oxPythonRegisterFactory::run(oxPythonRegisterFactory::Level(7));
    QCOMPARE(s_otherLevels, std::vector<int>{7});
    QVERIFY(registered(probeStartup));
}

QTEST_MAIN(tst_HostServices)
#include "tst_hostservices.moc"
