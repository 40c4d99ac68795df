#pragma once

#include "controls/eventrule.h"
#include "controls/twips.h"

#include <QObject>
#include <QString>

class QWidget;

namespace controls {

// The controls of the window. Each wraps one Qt widget, which is the single
// home of its value: every read asks the widget afresh. Writes follow the
// event rule of eventrule.h, and the user's own actions raise the same events,
// once each.
class Control : public QObject, public TwipsGeometry {
public:
    Control();
    // The accessible name lets screen readers tell the controls apart.
    virtual void setAccessibleName(const QString& name);
    void setTabIndex(int index) { tabIndex_ = index; }
    int TabIndex() const { return tabIndex_; }
    virtual QWidget* widget() const = 0;
    void move(int left, int top, int width, int height) { place(widget(), left, top, width, height); }

private:
    int tabIndex_ = 0;
};

} // namespace controls
