// The main frame's state that the work form reads and writes. The main window owns one of these
// and points g_pMainFrame at it; until it exists the work form runs against a record of its own.
#pragma once

#include <QString>
#include <atomic>

struct CMainFrameState {
    // Cleared when the program closes: the worker leaves its loop for good.
    std::atomic<int> m_bRunning{1};
    // A video chosen by the user is open (the start-up probe does not count).
    std::atomic<int> m_bVideoLoaded{0};
    // Where Save writes the mosaic; chosen by the frame's Save command.
    QString m_strOutputPathName;
};

inline CMainFrameState* g_pMainFrame = nullptr;
