#pragma once

#include "oxViewerJob.h"

#include <QObject>
#include <QString>

#include <memory>

// File > Compare...: the viewer's model, the new release, against an old release read from a file,
// compared on a thread of its own. The result colours the model by class (the host's CompareActive,
// one undoable switch: undo goes back to the analysis shown before) and goes into the report; a
// cancelled comparison, or one whose model changed meanwhile, changes nothing.
class oxViewerCompare : public QObject
{
    Q_OBJECT

public:
    explicit oxViewerCompare(QObject* parent = nullptr);
    ~oxViewerCompare() override;

    // Starts comparing the model with the old release at oldPath; false (saying why through
    // failed) when there is no model or a comparison is under way.
    Q_INVOKABLE bool compareWith(const QString& oldPath);
    // Stops a running comparison soon; it ends with compared(false) and "Compare cancelled.".
    void cancel();
    bool isBusy() const;

Q_SIGNALS:
    // A comparison started; compared() follows whichever way it ends.
    void started();
    // For the status line: what runs, then the verdict.
    void status(const QString& text);
    void failed(const QString& error);
    // A comparison ended; shown is false when it failed, was cancelled or its model changed meanwhile.
    void compared(bool shown);

private:
    struct Work;

    void finished(oxViewerJob::Outcome outcome);

    oxViewerJob* _job;
    std::shared_ptr<Work> _work;
};
