#pragma once

#include <QObject>

// Announces changes of the host's view cameras. The host may run without one.
class oxInternalCameraConnector : public QObject
{
    Q_OBJECT

public:
    explicit oxInternalCameraConnector(QObject* parent = nullptr);
    // Leaves the instance slot if it is the instance.
    ~oxInternalCameraConnector() override;

    // The host's connector, or null.
    static oxInternalCameraConnector* getInstance();
    static void setInstance(oxInternalCameraConnector* connector);

Q_SIGNALS:
    void fovChanged(unsigned int view, float fov);
};
