#include "oxViewerJob.h"

#include "oxRenderer.h"

#include <QThread>

oxViewerJob::oxViewerJob(const Names& names, QObject* parent) : QObject(parent), _names(names) {}

oxViewerJob::~oxViewerJob()
{
    if (!_thread)
        return;
    cancel();
    _thread->wait();
    delete _thread;
}

bool oxViewerJob::start(std::function<void(const std::atomic<bool>& cancel)> work, size_t sceneVersion)
{
    if (_thread)
        return false;
    // Shared with the thread, so that a job whose owner went first still reads a live flag.
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    _cancel = cancel;
    _sceneVersion = sceneVersion;
    _thread = QThread::create([work = std::move(work), cancel] { work(*cancel); });
    connect(_thread, &QThread::finished, this, &oxViewerJob::threadFinished);
    _thread->start();
    return true;
}

void oxViewerJob::cancel()
{
    if (_thread)
        _cancel->store(true);
}

QString oxViewerJob::message(Outcome outcome) const
{
    switch (outcome)
    {
    case Finished:
        break;
    case Cancelled:
        return tr("%1 cancelled.").arg(_names.verb);
    case Dropped:
        return tr("The model changed during the %1: its result was dropped. %2 again.").arg(_names.noun, _names.verb);
    }
    return QString();
}

void oxViewerJob::threadFinished()
{
    _thread->wait();
    delete _thread;
    _thread = nullptr;
    // A cancel that came as the work ended still counts: the user asked for no result.
    Outcome outcome = _cancel->load() ? Cancelled : Finished;
    _cancel.reset();
    if (outcome == Finished)
    {
        oxRenderer::the().syncScene();
        if (oxRenderer::the().sceneVersion() != _sceneVersion)
            outcome = Dropped;
    }
    Q_EMIT ended(outcome);
}
