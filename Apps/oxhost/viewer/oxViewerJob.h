#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

// Long work of the viewer (the check, the comparison) on a thread of its own: the work polls a
// cancel flag, and how it ended is said on the GUI thread, a result of a model changed meanwhile
// dropped. Deleting the job cancels the work and waits for it: the work reads models the scene may
// drop.
class oxViewerJob : public QObject
{
    Q_OBJECT

public:
    enum Outcome
    {
        Finished,
        Cancelled, // whatever the work returned is partial
        Dropped    // the model changed meanwhile
    };
    // How the messages name the work: "check" and "Check", "comparison" and "Compare".
    struct Names
    {
        QString noun;
        QString verb;
    };

    explicit oxViewerJob(const Names& names, QObject* parent = nullptr);
    ~oxViewerJob() override;

    // Runs work off the GUI thread; false when a job is under way. sceneVersion is oxRenderer's when
    // the work took its model; the work returns early once the flag it is given is set.
    bool start(std::function<void(const std::atomic<bool>& cancel)> work, size_t sceneVersion);
    void cancel();
    bool isBusy() const { return _thread != nullptr; }
    // What the status says for a job that did not finish: "Check cancelled.", "The model changed ...".
    QString message(Outcome outcome) const;

Q_SIGNALS:
    void ended(oxViewerJob::Outcome outcome);

private:
    void threadFinished();

    Names _names;
    QThread* _thread = nullptr;
    std::shared_ptr<std::atomic<bool>> _cancel;
    size_t _sceneVersion = 0;
};
