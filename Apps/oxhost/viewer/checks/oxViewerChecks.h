#pragma once

#include "oxCheck.h"
#include "oxViewerJob.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class oxViewerView;

// The Checks dock: a profile, Check, the verdict and the findings by criterion. The check runs on
// a thread of its own and Cancel stops it; a result whose model changed meanwhile is dropped.
// Findings show as markers on the model while the dock is shown; choosing one frames it and
// highlights its marker.
class oxViewerChecks : public QWidget
{
    Q_OBJECT

public:
    explicit oxViewerChecks(oxViewerView* view, QWidget* parent = nullptr);
    ~oxViewerChecks() override;

    // Checks the scene's model with the chosen profile; false (saying why) when none could start.
    Q_INVOKABLE bool check();
    // Stops a running check soon; it ends as cancelled and what was shown before stays.
    void cancel();
    bool isBusy() const;
    const oxCheckResult& result() const { return _result; }
    bool hasResult() const { return _hasResult; }
    // The finding whose marker is highlighted, an index into result().findings, or -1.
    long highlighted() const { return _highlighted; }
    // Markers show only while the dock does.
    void setShown(bool shown);
    // Forgets a result once the model it was made of is gone.
    void sceneChanged();

Q_SIGNALS:
    // A check ended; kept is false when it was cancelled or its model changed meanwhile, and the
    // result was dropped.
    void checked(bool kept);

private:
    struct Work;

    void chooseProfile(int index);
    void finished(oxViewerJob::Outcome outcome);
    void showResult();
    void choose(QTreeWidgetItem* item);
    void updateMarkers();

    oxViewerView* _view;
    QComboBox* _profile;
    QPushButton* _check;
    QPushButton* _cancel;
    QProgressBar* _busy;
    QLabel* _verdict;
    QTreeWidget* _tree;
    QCheckBox* _markers;
    QCheckBox* _continuity;
    oxViewerJob* _job = nullptr;
    std::shared_ptr<Work> _work;
    oxCheckResult _result;
    bool _hasResult = false;
    size_t _resultScene = 0;
    long _highlighted = -1;
    bool _shown = false;
};
