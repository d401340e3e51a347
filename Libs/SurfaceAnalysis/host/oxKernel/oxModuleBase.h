#pragma once

#include <QObject>

#include <cstdint>
#include <string>

class QPixmap;
class QWidget;
class oxMessage;

// Base of every host module. A module is registered with the kernel for as long as it lives and
// receives the kernel messages whose id its message mask contains.
class oxModuleBase : public QObject
{
    Q_OBJECT

public:
    oxModuleBase(const char* name, const char* name2, uint64_t messageMask, QPixmap* icon);
    ~oxModuleBase() override;

    virtual QWidget* getWidget() const;
    virtual void init();
    virtual void update();
    virtual void loop();
    // Returns whether the module handled the message; the base handles none.
    virtual bool receivedMessage(oxMessage& msg);

    const std::string& getModuleName() const { return _name; }
    const std::string& getSecondName() const { return _name2; }
    uint64_t getMessageMask() const { return _messageMask; }
    QPixmap* getIcon() const { return _icon; }

private:
    std::string _name;
    std::string _name2;
    uint64_t _messageMask;
    QPixmap* _icon;
};
