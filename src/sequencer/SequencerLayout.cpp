#include "sequencer/SequencerLayout.h"

#include <algorithm>

namespace zelvar::SequencerLayout {

int areaHeight(int tracks)
{
    return std::max(MinAreaHeight, (tracks + 1) * RowHeight);
}

std::vector<Mark> marks(int width, bool atCreation)
{
    std::vector<Mark> out;
    for (int k = 1; 600 * k <= width; ++k)
        out.push_back({Mark::TenMinutes, 600 * k, 15, QStringLiteral("%1 min").arg(10 * k), (atCreation ? 560 : 600) * k});
    for (int k = 1; 60 * k <= width; ++k)
        out.push_back({Mark::Minute, 60 * k, 15, {}, 0});
    for (int k = 1; 10 * k <= width; ++k)
        out.push_back({Mark::TenSeconds, 10 * k, 30, {}, 0});
    return out;
}

int buttonLeftAfterDrag(int left, int zoom)
{
    if (left > rulerWidth(zoom))
        return rulerWidth(zoom) + Margin;
    return std::max(left, Margin);
}

int cursorLeftAfterDrag(int left, int zoom)
{
    return std::clamp(left, Margin, rulerWidth(zoom) + Margin);
}

int loopLeftAfterDrag(int left, int zoom)
{
    if (left > 675 * zoom)
        return 675 * zoom + Margin;
    return std::max(left, Margin);
}

int controlBarLeftAfterClick(int x, int zoom)
{
    return std::max(std::min(x - 70, rulerWidth(zoom) - 300), Margin);
}

Follow follow(int cursorLeft, int zoom)
{
    if (areaWidth(zoom) <= FollowFrom)
        return {};
    return {true, cursorLeft - 250, cursorLeft - 100};
}

QString statusAfterAdd(int track, int tracks, int buttons, int nbBtns)
{
    return QStringLiteral("Piste %1  piste haut= %2  nb haut= %3nombtn = %4").arg(track).arg(tracks).arg(buttons).arg(nbBtns);
}

QString statusAfterDelete(int track, int tracks, int buttons, int current)
{
    return QStringLiteral("Piste %1  piste haut= %2  nb haut= %3nb = %4").arg(track).arg(tracks).arg(buttons).arg(current);
}

QString statusAfterPick(int track, int tracks, int buttons)
{
    return QStringLiteral("Piste %1  piste haut= %2  nb haut= %3").arg(track).arg(tracks).arg(buttons);
}

QString statusAfterTrackFocus(int track, int tracks, int buttons)
{
    return QStringLiteral("Piste %1\r  piste haut= %2\r  nb haut= %3").arg(track).arg(tracks).arg(buttons);
}

QString zoomLabel(int zoom)
{
    return QStringLiteral("%1 minutes").arg(10 * zoom);
}

QString buttonName(int track, int button)
{
    return QStringLiteral("S%1___Arret_%2").arg(track).arg(button);
}

QString fallbackButtonName(int track, int button)
{
    return QStringLiteral("Sd%1   Default%2").arg(track).arg(button + 500);
}

} // namespace zelvar::SequencerLayout
