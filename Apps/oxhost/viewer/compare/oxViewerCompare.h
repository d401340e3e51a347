#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QThread;

// File > Compare...: the viewer's model, the new release, against an old release read from a file,
// compared on a thread of its own. The result colours the model by class (the host's CompareActive,
// one undoable switch: undo goes back to the analysis shown before) and goes into the report; a
// result whose model changed meanwhile is dropped.
class oxViewerCompare : public QObject
{
    Q_OBJECT

public:
    explicit oxViewerCompare(QObject* parent = nullptr);
    ~oxViewerCompare() override;

    // Starts comparing the model with the old release at oldPath; false (saying why through
    // failed) when there is no model or a comparison is under way.
    Q_INVOKABLE bool compareWith(const QString& oldPath);
    bool isBusy() const { return _thread != nullptr; }

Q_SIGNALS:
    // For the status line: what runs, then the verdict.
    void status(const QString& text);
    void failed(const QString& error);
    // A comparison ended; shown is false when it failed or its model changed meanwhile.
    void compared(bool shown);

private:
    struct Job;

    void finished();

    QThread* _thread = nullptr;
    std::shared_ptr<Job> _job;
};
