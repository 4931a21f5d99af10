#include "sequencer/SequenceFile.h"

#include <QLocale>

#include <algorithm>

namespace zelvar {

namespace {

QString trackSection(int n)
{
    return SequenceKeys::TrackSection + QString::number(n);
}

QString buttonKey(int j)
{
    return SequenceKeys::ButtonTime + QString::number(j);
}

} // namespace

QString refusalReason(const ProfileFile &profile)
{
    using namespace SequenceKeys;
    if (profile.unreadable())
        return profile.readError();
    // Counted before anything is built, and no further than the limit: a count of two
    // billion costs no more than one at the limit.
    const int tracks = profile.readInteger(Tracks, TrackCount, 0);
    long long objects = std::max(tracks, 0);
    for (int n = 1; n <= tracks && objects <= SequenceState::MaxLoadedObjects; ++n)
        objects += std::max(profile.readInteger(trackSection(n), ButtonCount, 0), 0);
    if (objects <= SequenceState::MaxLoadedObjects)
        return {};
    return QStringLiteral("La séquence compte plus de %1 pistes et boutons : elle n'est pas lue.")
        .arg(QLocale(QLocale::French).toString(SequenceState::MaxLoadedObjects));
}

SequenceRead readSequence(const ProfileFile &profile, SequenceState &state, int panelButtonCount)
{
    using namespace SequenceKeys;
    SequenceRead read;
    read.refused = refusalReason(profile);
    if (!read.refused.isEmpty())
        return read;
    read.storedCount = profile.readInteger(Tracks, TrackCount, 0);
    read.loopLeft = profile.readInteger(Tracks, Loop, SequenceState::MargePiste);
    read.storedZoom = profile.readInteger(Tracks, Zoom, 1);
    state.loopLeft = read.loopLeft;
    state.CoefTaille = SequenceState::clampZoom(read.storedZoom);

    for (int n = 1; n <= read.storedCount; ++n) {
        const QString section = trackSection(n);
        TPiste &piste = state.AddPiste2();
        const int stored = profile.readInteger(section, Code, 0);
        // The track's list holds "Off" and the panel's buttons; a number outside it selects nothing.
        const bool selectable = stored >= 0 && stored <= panelButtonCount;
        piste.Code = selectable ? stored : -1;
        piste.keptCode = selectable ? 0 : stored;
        piste.NbBtns = profile.readInteger(section, ButtonCount, 0);
        piste.Btns.reserve(size_t(std::max(piste.NbBtns, 0)) + 1);
        for (int j = 1; j <= piste.NbBtns; ++j)
            piste.Btns.push_back(profile.readInteger(section, buttonKey(j), 0));
    }
    if (read.storedCount >= 1) {
        state.PisteEnCours = state.trackCount();
        state.BtnEnCours = state.Pistes.back().btnCount();
    }
    return read;
}

ProfileFile writeSequence(const SequenceState &state)
{
    using namespace SequenceKeys;
    ProfileFile profile;
    profile.writeString(Info, QStringLiteral("_"), QStringLiteral("                    Avertissement"));
    profile.writeString(Info, QStringLiteral("__"),
                        QStringLiteral("     Attention,toute modification de ce fichier peux"));
    profile.writeString(Info, QStringLiteral("___"), QStringLiteral("         avoir des consequences inatendues"));
    profile.writeString(Info, QStringLiteral("____"), QStringLiteral("                    Ostrel"));
    profile.writeString(Info, QStringLiteral("_____"), QStringLiteral(" "));
    profile.writeInteger(Tracks, TrackCount, state.storedTrackCount());
    profile.writeInteger(Tracks, Loop, state.loopLeft);
    profile.writeInteger(Tracks, Zoom, state.CoefTaille);
    for (int n = 1; n <= state.trackCount(); ++n) {
        const TPiste &piste = state.Pistes[size_t(n)];
        const QString section = trackSection(n);
        profile.writeInteger(section, ButtonCount, piste.btnCount());
        profile.writeInteger(section, Code, piste.savedCode());
        for (int j = 1; j <= piste.btnCount(); ++j)
            profile.writeInteger(section, buttonKey(j), piste.Btns[size_t(j)]);
    }
    return profile;
}

} // namespace zelvar
