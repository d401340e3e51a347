#include "oxViewerCompare.h"

#include "oxCompareView.h"
#include "oxHostAnalysisModel.h"
#include "oxHostCompare.h"
#include "oxRenderer.h"

#include <QFileInfo>
#include <QThread>

struct oxViewerCompare::Job
{
    std::string oldPath;
    // The model's meshes as they were when the comparison started: the scene may change meanwhile.
    oxRenderScene newPart;
    size_t sceneVersion = 0;
    oxHostComparison comparison;
    std::shared_ptr<const oxCompareView> view;
    std::string error;

    void run()
    {
        oxRenderScene oldPart;
        if (!oxHostCompare::read(oldPath, oldPart, error) ||
            !oxCompare::run(oldPart, newPart, oxCompareOptions(), comparison.result, error))
            return;
        view = oxCompareView::make(comparison.result, oldPart, newPart);
    }
};

namespace
{
// A copy of the renderer's scene; its file (or first mesh's name) names it.
std::string copyScene(const oxRenderScene& scene, oxRenderScene& copy)
{
    std::vector<std::shared_ptr<const oxRenderMesh>> meshes;
    std::vector<std::shared_ptr<const oxCadMesh>> cad;
    for (size_t i = 0; i < scene.meshCount(); ++i)
    {
        meshes.push_back(std::make_shared<oxRenderMesh>(scene.mesh(i)));
        const oxCadMesh* exact = scene.placedCad(i);
        cad.push_back(exact ? std::make_shared<oxCadMesh>(*exact) : nullptr);
    }
    copy.setMeshes(meshes, cad);
    if (scene.meshCount() == 0)
        return std::string();
    return scene.placedCad(0) ? scene.placedCad(0)->source : scene.mesh(0).name;
}
} // namespace

oxViewerCompare::oxViewerCompare(QObject* parent) : QObject(parent) {}

oxViewerCompare::~oxViewerCompare()
{
    if (_thread)
    {
        _thread->wait();
        delete _thread;
    }
}

bool oxViewerCompare::compareWith(const QString& oldPath)
{
    if (_thread)
    {
        Q_EMIT failed(tr("A comparison is under way: compare again when it has ended."));
        return false;
    }
    oxRenderer& renderer = oxRenderer::the();
    renderer.syncScene();
    if (renderer.scene().triangleCount() == 0)
    {
        Q_EMIT failed(tr("Cannot compare with \"%1\": open the new release as the model first.").arg(oldPath));
        return false;
    }
    auto job = std::make_shared<Job>();
    job->oldPath = oldPath.toStdString();
    job->sceneVersion = renderer.sceneVersion();
    job->comparison.oldSource = job->oldPath;
    job->comparison.newSource = copyScene(renderer.scene(), job->newPart);
    _job = job;
    _thread = QThread::create([job] { job->run(); });
    connect(_thread, &QThread::finished, this, &oxViewerCompare::finished);
    Q_EMIT status(tr("Comparing the model with %1 ...").arg(QFileInfo(oldPath).fileName()));
    _thread->start();
    return true;
}

void oxViewerCompare::finished()
{
    _thread->wait();
    delete _thread;
    _thread = nullptr;
    const std::shared_ptr<Job> job = std::move(_job);
    oxRenderer& renderer = oxRenderer::the();
    renderer.syncScene();
    if (!job->view)
    {
        Q_EMIT failed(QString::fromStdString(job->error));
        Q_EMIT compared(false);
        return;
    }
    if (renderer.sceneVersion() != job->sceneVersion)
    {
        Q_EMIT status(tr("The model changed during the comparison: its result was dropped. Compare again."));
        Q_EMIT compared(false);
        return;
    }
    renderer.setComparison(job->view);
    auto comparison = std::make_shared<oxHostComparison>(std::move(job->comparison));
    oxHostCompare::show(comparison);
    Q_EMIT status(QString::fromStdString(oxHostCompare::verdict(*comparison)));
    oxHostAnalysisModel::the()->setCompareActive(true);
    Q_EMIT compared(true);
}
