// What auhost play shows while it plays: a line for every message the monitor takes (unless
// quiet) and, on a terminal, a progress line that says where play is and whether it waits for
// the destination. The progress line is redrawn in place; while the unit writes its own log to
// the same terminal it is a line of its own each second instead, so that it never runs into the
// unit's lines.
#pragma once

#include "Monitor/MonitorCapture.h"

#include <ostream>
#include <sstream>
#include <string>

class PlayScreen {
public:
    // progress: draw the progress line at all; inPlace: redraw it in place. arrivals: print the
    // monitor's messages. [host-thread]
    PlayScreen(std::ostream& out, bool progress, bool inPlace, bool arrivals);

    // Takes what arrived at the monitor and prints it; draws progressText when the progress line
    // is due (or whenever given with force). Returns how many messages arrived. [host-thread]
    size_t Update(MonitorCapture& capture, const std::string& progressText, bool force = false);
    // Clears the progress line, so that the summary stands alone. [host-thread]
    void Clear();

private:
    std::ostream& mOut;
    const bool mProgress;
    const bool mInPlace;
    const bool mArrivals;
    bool mDrawn = false;
    UInt64 mLastDrawn = 0;
    std::ostringstream mArrived;
};
