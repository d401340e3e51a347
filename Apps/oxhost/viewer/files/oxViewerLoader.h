#pragma once

#include "oxMeshImporter.h"

#include <QObject>

#include <atomic>
#include <string>

// Reads a model file on a thread (the reader itself runs in its own process, oxreader) while the event
// loop keeps running, so that the window stays live; cancel() kills the reader.
class oxViewerLoader : public QObject
{
    Q_OBJECT

public:
    enum Result
    {
        Loaded,
        Failed,
        Cancelled
    };

    explicit oxViewerLoader(QObject* parent = nullptr);
    ~oxViewerLoader() override;

    // Returns when the read has ended; file is set when Loaded, error otherwise. One read at a
    // time: a second one fails at once. cad: how a CAD file is triangulated.
    Result read(const QString& path, oxMeshImporter::File& file, std::string& error,
                const oxCadOptions& cad = oxCadOptions());
    bool isLoading() const { return _cancel != nullptr; }

public Q_SLOTS:
    // The read ends as Cancelled soon after, whatever the reader had done.
    void cancel();

Q_SIGNALS:
    void started(const QString& path);
    void finished(oxViewerLoader::Result result);

private:
    std::atomic<bool>* _cancel = nullptr; // the running read's flag
};
