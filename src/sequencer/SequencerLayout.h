#pragma once

#include <QString>

#include <algorithm>

#include <vector>

namespace zelvar {

// The sequencer window's arithmetic, kept apart from the widgets: one second is one pixel,
// and the time axis starts at the track column's right edge (MargePiste).
namespace SequencerLayout {

inline constexpr int Margin = 120;       // MargePiste
inline constexpr int RowPitch = 40;      // track n's list stands at top 40n
inline constexpr int RowHeight = 48;     // list 21 + "+" 17 + 10
inline constexpr int MinAreaHeight = 550;
inline constexpr int RulerHeight = 40;
inline constexpr int ScrollExtra = 300;  // the window scrolls this far past the editing area
inline constexpr int FollowFrom = 800;   // the view follows the cursor beyond this width
inline constexpr int LoopTop = 13;
inline constexpr int MarkWidth = 9;      // a timed button, and the loop marker
inline constexpr int LoopReach = 675;    // the loop marker may stand 675 × zoom past the origin
inline constexpr int ClickBarTop = 400;  // the control bar's top after a click on the ruler

inline int leftForTime(long long seconds) { return int(seconds + Margin); }
inline long long timeForLeft(int left) { return (long long)left - Margin; }

// Ruler and timed-button area widths for a zoom step.
inline int rulerWidth(int zoom) { return 600 * zoom; }
inline int areaWidth(int zoom) { return 600 * zoom + Margin; }
// The editing area holds a button at the ruler's end and the loop marker at its farthest,
// both whole; the window scrolls 300 pixels past the timed-button area, or that far.
inline int editingWidth(int zoom) { return std::max(rulerWidth(zoom), LoopReach * zoom) + Margin + MarkWidth; }
inline int scrollWidth(int zoom) { return std::max(areaWidth(zoom) + ScrollExtra, editingWidth(zoom)); }

// Height of the track and button areas for n tracks: (n + 1) × 48, at least 550.
int areaHeight(int tracks);

inline int trackTop(int track) { return RowPitch * track; }
inline int trackToolsTop(int track) { return RowPitch * track + 20; }
// The control bar stands below the last track's row, where it covers no timed button; a
// ruler click puts it at 400 when that is below the tracks.
inline int controlBarTopBelow(int tracks) { return trackTop(tracks + 1); }
inline int controlBarTopAfterClick(int tracks) { return std::max(ClickBarTop, controlBarTopBelow(tracks)); }
// Whether a control bar at `top`, `height` high, covers track n's row.
inline bool coversTrack(int top, int height, int track)
{
    return top < trackTop(track + 1) && top + height > trackTop(track);
}

// One line of the ruler's scale, in ruler pixels; `label` is empty for unlabelled marks.
struct Mark
{
    enum Kind { TenMinutes, Minute, TenSeconds };
    Kind kind;
    int x;
    int top;        // the line goes from (x, top) to (x, 40)
    QString label;  // "10 min", "20 min"…
    int labelX = 0;
};

// Every mark across a ruler `width` pixels wide. The ten-minute labels stand at 600k after a
// zoom change and at 560k when the window draws its first ruler.
std::vector<Mark> marks(int width, bool atCreation);

// Where a dragged object comes to rest, from the left edge it was released at.
// A timed button: within 120..600 × zoom + 120.
int buttonLeftAfterDrag(int left, int zoom);
// The play cursor: within 120..600 × zoom + 120.
int cursorLeftAfterDrag(int left, int zoom);
// The loop marker may stand up to 75 seconds per zoom step past the ruler's end.
int loopLeftAfterDrag(int left, int zoom);
// The control bar after a click on the ruler at x: 70 pixels left of it, at most
// 600 × zoom − 300, at least 120.
int controlBarLeftAfterClick(int x, int zoom);

// The view following the cursor during playback, once the editing area is wider than 800.
struct Follow
{
    bool follows = false;
    int scrollX = 0;      // the window's horizontal scroll position asked for
    int controlBarLeft = 0;
};
Follow follow(int cursorLeft, int zoom);

// The status texts the window shows in EditTemps.
QString statusAfterAdd(int track, int tracks, int buttons, int nbBtns);
QString statusAfterDelete(int track, int tracks, int buttons, int current);
QString statusAfterPick(int track, int tracks, int buttons);
QString statusAfterTrackFocus(int track, int tracks, int buttons);
// The zoom label: "30 minutes".
QString zoomLabel(int zoom);

// A timed button's name, and the fallback when that name is taken.
QString buttonName(int track, int button);
QString fallbackButtonName(int track, int button);

} // namespace SequencerLayout
} // namespace zelvar
