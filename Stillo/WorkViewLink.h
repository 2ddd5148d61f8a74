// What the main frame needs of the work form: its menu commands, enabling rules and the
// splash's end reach the form through these alone. The form offers them (CWorkView::Link).
#pragma once

#include <QString>
#include <functional>

namespace ui {
class Dialog;
}

struct WorkViewLink {
    std::function<bool()> isSnapping;   // a run is active
    std::function<bool()> canvasExists; // a mosaic canvas has been painted
    // True when the video was loaded; false leaves the video loaded before as it was.
    std::function<bool(const QString& pathName, const QString& fileName)> loadVideo;
    std::function<void()> saveResult;
    // Clears the snapping flag and joins the worker thread; returns once it has ended.
    std::function<void()> stopWorker;
    // The work form's settings dialog by template id (153, 154, 155).
    std::function<ui::Dialog*(int templateId)> settingsDialog;
    // Gives the logo button its full-colour picture once the splash has gone.
    std::function<void()> showLogo;
};
