#pragma once

#include <QWidget>

// The host's material preview widget.
class oxMaterialWidget : public QWidget
{
    Q_OBJECT

public:
    // name becomes the object name; the widget starts at w x h. flag is kept for the host.
    oxMaterialWidget(QWidget* parent, const char* name, Qt::WindowFlags f, bool flag, int w, int h);
    ~oxMaterialWidget() override;

    // Prepares the preview rendering; the stand-in counts the calls.
    virtual void prepareRender();
    int prepareRenderCount() const { return _prepareRenders; }
    bool flag() const { return _flag; }

    // How many were constructed in this process.
    static int constructionCount();
    // Host side, before the application object goes: deletes the preview widgets that have no
    // parent (whoever created them never frees them). Returns how many.
    static int deleteUnparented();

private:
    bool _flag;
    int _prepareRenders = 0;
};
