#include "oxViewerLoader.h"

#include "oxIsolatedProcess.h"
#include "oxMeshNodes.h"
#include "oxModelImporter.h"

#include <QEventLoop>
#include <QPointer>
#include <QThread>

oxViewerLoader::oxViewerLoader(QObject* parent) : QObject(parent) {}

oxViewerLoader::~oxViewerLoader()
{
    cancel();
}

void oxViewerLoader::cancel()
{
    if (_cancel)
        _cancel->store(true);
}

oxViewerLoader::Result oxViewerLoader::read(const QString& path, oxMeshImporter::File& file, std::string& error,
                                            const oxCadOptions& cad)
{
    const std::string name = path.toStdString();
    if (isLoading())
    {
        error = "cannot open \"" + name + "\": another model is still loading";
        return Failed;
    }
    // The flag and the results live on this stack frame, which outlasts the thread even when the
    // loader is deleted while the loop runs.
    std::atomic<bool> cancelled(false);
    oxMeshImporter::File read;
    std::string cause;
    bool ok = false;
    std::atomic<bool> done(false);
    _cancel = &cancelled;
    Q_EMIT started(path);

    QPointer<oxViewerLoader> self(this);
    QEventLoop loop;
    QThread* reader = QThread::create(
        [&]
        {
            const oxIsolatedProcess::CancelScope scope(cancelled);
            ok = oxModelImporter::read(name, read, cause, oxMeshNodes::DefaultCreaseAngle, cad);
            done = true;
        });
    connect(reader, &QThread::finished, &loop, &QEventLoop::quit);
    reader->start();
    loop.exec();
    // The loop also ends when the application quits: then the read is not wanted any more.
    if (!done)
        cancelled = true;
    reader->wait();
    delete reader;
    if (!self)
        return Cancelled;
    _cancel = nullptr;

    Result result = cancelled ? Cancelled : ok ? Loaded : Failed;
    if (result == Loaded)
        file = std::move(read);
    else
        error = result == Failed ? cause : "loading \"" + name + "\" was cancelled";
    Q_EMIT finished(result);
    return result;
}
