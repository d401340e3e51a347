#include "oxViewerCompare.h"

#include "oxCompareView.h"
#include "oxHostAnalysisModel.h"
#include "oxHostCompare.h"
#include "oxIsolatedProcess.h"
#include "oxRenderer.h"

#include <QFileInfo>

struct oxViewerCompare::Work
{
    std::string oldPath;
    // The model's meshes as they were when the comparison started: the scene may change meanwhile.
    oxRenderScene newPart;
    oxHostComparison comparison;
    std::shared_ptr<const oxCompareView> view;
    std::string error;

    void run(const std::atomic<bool>& cancel)
    {
        // Cancel stops the reader of the old release too.
        const oxIsolatedProcess::CancelScope scope(cancel);
        oxRenderScene oldPart;
        oxCompareOptions options;
        options.cancel = &cancel;
        if (!oxHostCompare::read(oldPath, oldPart, error) ||
            !oxCompare::run(oldPart, newPart, options, comparison.result, error))
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

oxViewerCompare::oxViewerCompare(QObject* parent)
    : QObject(parent), _job(new oxViewerJob({tr("comparison"), tr("Compare")}, this))
{
    connect(_job, &oxViewerJob::ended, this, &oxViewerCompare::finished);
}

oxViewerCompare::~oxViewerCompare()
{
    // The job reads the old release's file and a copy of the model: cancelled, it ends soon.
    delete _job;
}

bool oxViewerCompare::isBusy() const
{
    return _job->isBusy();
}

void oxViewerCompare::cancel()
{
    _job->cancel();
}

bool oxViewerCompare::compareWith(const QString& oldPath)
{
    if (_job->isBusy())
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
    auto work = std::make_shared<Work>();
    work->oldPath = oldPath.toStdString();
    work->comparison.oldSource = work->oldPath;
    work->comparison.newSource = copyScene(renderer.scene(), work->newPart);
    _work = work;
    _job->start([work](const std::atomic<bool>& cancel) { work->run(cancel); }, renderer.sceneVersion());
    Q_EMIT started();
    Q_EMIT status(tr("Comparing the model with %1 ...").arg(QFileInfo(oldPath).fileName()));
    return true;
}

void oxViewerCompare::finished(oxViewerJob::Outcome outcome)
{
    const std::shared_ptr<Work> work = std::move(_work);
    if (outcome != oxViewerJob::Cancelled && !work->view)
    {
        Q_EMIT failed(QString::fromStdString(work->error));
        Q_EMIT compared(false);
        return;
    }
    if (outcome != oxViewerJob::Finished)
    {
        Q_EMIT status(_job->message(outcome));
        Q_EMIT compared(false);
        return;
    }
    oxRenderer::the().setComparison(work->view);
    auto comparison = std::make_shared<oxHostComparison>(std::move(work->comparison));
    oxHostCompare::show(comparison);
    Q_EMIT status(QString::fromStdString(oxHostCompare::verdict(*comparison)));
    oxHostAnalysisModel::the()->setCompareActive(true);
    Q_EMIT compared(true);
}
