#pragma once

#include <QObject>

// The host's base service: announces with init() that the host's services are ready to be connected to.
class oxBaseService : public QObject
{
    Q_OBJECT

public:
    explicit oxBaseService(QObject* parent = nullptr);
    ~oxBaseService() override;

Q_SIGNALS:
    void init();
};
