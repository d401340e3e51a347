#include "oxViewerChecks.h"

#include "oxHostCheck.h"
#include "oxRenderer.h"
#include "oxViewerCamera.h"
#include "oxViewerJob.h"
#include "oxViewerView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

// What the check's thread reads and writes; shared, so that it outlives a panel closed meanwhile.
struct oxViewerChecks::Work
{
    oxHostCheck::Parts parts;
    oxCheckProfile profile;
    oxCheckResult result;
};

namespace
{
const int FindingRole = Qt::UserRole;

QString verdictText(const oxCheckResult& r)
{
    size_t findings = 0;
    for (size_t count : r.counts)
        findings += count;
    const QString verdict = QString::fromLatin1(oxCheckResult::verdictName(r.verdict)).toUpper();
    if (r.verdict == oxCheckResult::Error)
        return verdict + ": " + QString::fromStdString(r.reason);
    return oxViewerChecks::tr("%1 (%2 profile): %3 findings")
        .arg(verdict, QString::fromStdString(r.profile))
        .arg(findings);
}
} // namespace

oxViewerChecks::oxViewerChecks(oxViewerView* view, QWidget* parent)
    : QWidget(parent), _view(view), _profile(new QComboBox), _check(new QPushButton(tr("Check"))),
      _cancel(new QPushButton(tr("Cancel"))), _busy(new QProgressBar), _verdict(new QLabel), _tree(new QTreeWidget),
      _markers(new QCheckBox(tr("Markers"))), _continuity(new QCheckBox(tr("Continuity edges")))
{
    setObjectName("checks");
    _profile->setObjectName("checkProfile");
    for (const std::string& name : oxCheckProfile::names())
        _profile->addItem(QString::fromStdString(name), QString::fromStdString(name));
    _profile->addItem(tr("File..."));
    _profile->setToolTip(tr("The thresholds and severities: a built-in profile or a JSON profile file"));
    connect(_profile, QOverload<int>::of(&QComboBox::activated), this, &oxViewerChecks::chooseProfile);
    _check->setObjectName("check");
    _check->setToolTip(
        tr("Checks the data quality of the model's CAD parts and meshes; the view stays live meanwhile"));
    connect(_check, &QPushButton::clicked, this, &oxViewerChecks::check);
    _job = new oxViewerJob({tr("check"), tr("Check")}, this);
    connect(_job, &oxViewerJob::ended, this, &oxViewerChecks::finished);
    _cancel->setObjectName("checkCancel");
    _cancel->setToolTip(tr("Stops the check; the findings shown before stay"));
    _cancel->hide();
    connect(_cancel, &QPushButton::clicked, _job, &oxViewerJob::cancel);
    _busy->setObjectName("checkBusy");
    _busy->setRange(0, 0);
    _busy->setMaximumHeight(8);
    _busy->setTextVisible(false);
    _busy->hide();
    _verdict->setObjectName("checkVerdict");
    _verdict->setWordWrap(true);
    _verdict->setText(tr("Not checked yet."));
    _tree->setObjectName("checkFindings");
    _tree->setHeaderLabels({tr("Finding"), tr("Count")});
    _tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    _tree->header()->setStretchLastSection(false);
    connect(_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) { choose(item); });
    _markers->setObjectName("checkMarkers");
    _markers->setChecked(true);
    _markers->setToolTip(tr("Marks each finding on the model: errors vermillion, warnings amber"));
    connect(_markers, &QCheckBox::toggled, this, &oxViewerChecks::updateMarkers);
    _continuity->setObjectName("checkContinuity");
    _continuity->setToolTip(tr("Draws the shared edges in their continuity classes: G2 green, G1 yellow, G0 red"));
    _continuity->setChecked(oxRenderer::the().showContinuity());
    connect(_continuity, &QCheckBox::toggled, this,
            [this](bool on)
            {
                oxRenderer::the().setShowContinuity(on);
                _view->changed(false);
            });

    auto* column = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(_profile, 1);
    row->addWidget(_check);
    row->addWidget(_cancel);
    column->addLayout(row);
    column->addWidget(_busy);
    column->addWidget(_verdict);
    column->addWidget(_tree, 1);
    auto* switches = new QHBoxLayout;
    switches->addWidget(_markers);
    switches->addWidget(_continuity);
    switches->addStretch(1);
    column->addLayout(switches);
}

oxViewerChecks::~oxViewerChecks()
{
    // The job reads models the scene may drop: it is cancelled and ends before the panel does.
    delete _job;
    if (_shown)
        oxRenderer::the().setMarkers({});
}

void oxViewerChecks::chooseProfile(int index)
{
    if (!_profile->itemData(index).toString().isEmpty())
        return;
    const QString path = QFileDialog::getOpenFileName(this, tr("Check profile"), QString(),
                                                      tr("Check profiles (*.json);;All files (*)"));
    if (path.isEmpty())
    {
        _profile->setCurrentIndex(0);
        return;
    }
    _profile->insertItem(index, QFileInfo(path).fileName(), path);
    _profile->setItemData(index, path, Qt::ToolTipRole);
    _profile->setCurrentIndex(index);
}

bool oxViewerChecks::isBusy() const
{
    return _job->isBusy();
}

bool oxViewerChecks::check()
{
    if (_job->isBusy())
        return false;
    auto work = std::make_shared<Work>();
    std::string error;
    if (!oxCheckProfile::find(_profile->currentData().toString().toStdString(), work->profile, error))
    {
        _verdict->setText(QString::fromStdString(error));
        return false;
    }
    work->parts = oxHostCheck::parts();
    _work = work;
    _job->start(
        [work](const std::atomic<bool>& cancel)
        {
            oxHostCheck::RunOptions options;
            options.cancel = &cancel;
            work->result = oxHostCheck::run(work->parts, work->profile, options);
        },
        work->parts.sceneVersion);
    _check->setEnabled(false);
    _cancel->show();
    _busy->show();
    _verdict->setText(tr("Checking ..."));
    return true;
}

void oxViewerChecks::cancel()
{
    _job->cancel();
}

void oxViewerChecks::finished(oxViewerJob::Outcome outcome)
{
    _check->setEnabled(true);
    _cancel->hide();
    _busy->hide();
    const std::shared_ptr<Work> work = std::move(_work);
    const bool kept = outcome == oxViewerJob::Finished;
    if (kept)
    {
        _result = work->result;
        _resultScene = work->parts.sceneVersion;
        _hasResult = true;
        oxHostCheck::keep(_result, _resultScene);
        showResult();
    }
    else if (outcome == oxViewerJob::Cancelled && _hasResult)
        _verdict->setText(_job->message(outcome) + "\n" + tr("Shown: the check before, %1").arg(verdictText(_result)));
    else
        _verdict->setText(_job->message(outcome));
    Q_EMIT checked(kept);
}

void oxViewerChecks::showResult()
{
    const QSignalBlocker block(_tree);
    _tree->clear();
    _highlighted = -1;
    _verdict->setText(_hasResult ? verdictText(_result) : tr("Not checked yet."));
    if (_hasResult)
        for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
        {
            const size_t count = _result.counts[size_t(c.criterion)];
            if (count == 0)
                continue;
            auto* group = new QTreeWidgetItem(_tree, {QString::fromLatin1(c.code), QString::number(count)});
            group->setToolTip(0, QString::fromLatin1(c.description));
            group->setData(0, FindingRole, -1);
            for (size_t i = 0; i < _result.findings.size(); ++i)
                if (_result.findings[i].criterion == c.criterion)
                {
                    auto* item = new QTreeWidgetItem(group, {QString::fromStdString(_result.findings[i].message)});
                    item->setData(0, FindingRole, qlonglong(i));
                    item->setToolTip(0, item->text(0));
                }
            if (size_t(group->childCount()) < count)
                new QTreeWidgetItem(group, {tr("... and %1 more").arg(count - size_t(group->childCount()))});
            group->setExpanded(true);
        }
    _tree->resizeColumnToContents(1);
    updateMarkers();
}

void oxViewerChecks::choose(QTreeWidgetItem* item)
{
    const QVariant index = item ? item->data(0, FindingRole) : QVariant();
    _highlighted = index.isValid() ? long(index.toLongLong()) : -1;
    if (_highlighted >= 0 && size_t(_highlighted) < _result.findings.size())
    {
        const double* at = _result.findings[size_t(_highlighted)].location;
        // Near enough to see the entity among its neighbours, far enough to see where it lies.
        oxViewerCamera::frame(osg::Pnt3f(float(at[0]), float(at[1]), float(at[2])),
                              float(oxHostCheck::sceneSize() / 6));
    }
    updateMarkers();
}

void oxViewerChecks::setShown(bool shown)
{
    _shown = shown;
    updateMarkers();
}

void oxViewerChecks::sceneChanged()
{
    oxRenderer::the().syncScene();
    if (!_hasResult || oxRenderer::the().sceneVersion() == _resultScene)
        return;
    _hasResult = false;
    _result = oxCheckResult();
    showResult();
}

void oxViewerChecks::updateMarkers()
{
    const bool show = _shown && _hasResult && _markers->isChecked();
    if (!show && oxRenderer::the().markers().empty())
        return;
    oxRenderer::the().setMarkers(show ? oxHostCheck::markers(_result, oxHostCheck::sceneSize(), _highlighted)
                                      : std::vector<oxOverlay::Polyline>());
    _view->changed(false);
}
