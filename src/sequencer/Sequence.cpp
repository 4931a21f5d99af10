#include "sequencer/Sequence.h"

#include "sequencer/SequenceFile.h"

#include <algorithm>

namespace zelvar {

int TPiste::savedCode() const
{
    if (Code >= 1)
        return Code;
    return Code < 0 && keptCode >= 1 ? keptCode : 0;
}

int SequenceState::clampZoom(int step)
{
    return std::clamp(step, MinCoefTaille, MaxCoefTaille);
}

TPiste &SequenceState::AddPiste2()
{
    if (Pistes.empty())
        Pistes.emplace_back();
    Pistes.emplace_back();
    PisteEnCours = trackCount();
    BtnEnCours = 0;
    return Pistes.back();
}

void SequenceState::removePiste(int track)
{
    if (track < 1 || track > trackCount())
        return;
    Pistes.erase(Pistes.begin() + track);
    PisteEnCours = trackCount();
    BtnEnCours = PisteEnCours ? Pistes[size_t(PisteEnCours)].btnCount() : 0;
}

int SequenceState::addBtn(int track, int time)
{
    if (track < 1 || track > trackCount())
        return 0;
    Pistes[size_t(track)].Btns.push_back(time);
    PisteEnCours = track;
    BtnEnCours = Pistes[size_t(track)].btnCount();
    return BtnEnCours;
}

void SequenceState::removeBtn(int track, int button)
{
    if (track < 1 || track > trackCount())
        return;
    TPiste &piste = Pistes[size_t(track)];
    if (button < 1 || button > piste.btnCount())
        return;
    piste.Btns.erase(piste.Btns.begin() + button);
    BtnEnCours = piste.btnCount();
}

void SequenceState::AllDestroy()
{
    Pistes.clear();
    PisteEnCours = 0;
    BtnEnCours = 0;
}

QString SequenceState::Chargement(int panelButtonCount)
{
    return readSequence(ProfileFile::load(FichierSeq), *this, panelButtonCount).refused;
}

bool SequenceState::EnregistrerIni_Seq(const QString &path, QString *message) const
{
    const ProfileFile::SaveResult result = writeSequence(*this).save(path);
    if (!result.ok && message)
        *message = QStringLiteral("Erreur d'enregistrement dans le fichier ini\n%1 : %2").arg(path, result.error);
    return result.ok;
}

bool SequenceState::changed() const
{
    const auto first = Pistes.begin() + (Pistes.empty() ? 0 : 1);
    return loopLeft != m_unchanged.loopLeft || CoefTaille != m_unchanged.CoefTaille ||
           !std::equal(first, Pistes.end(), m_unchanged.tracks.begin(), m_unchanged.tracks.end());
}

void SequenceState::markUnchanged()
{
    m_unchanged.tracks.assign(Pistes.begin() + (Pistes.empty() ? 0 : 1), Pistes.end());
    m_unchanged.loopLeft = loopLeft;
    m_unchanged.CoefTaille = CoefTaille;
}

QString playTimeText(long long seconds)
{
    const long long day = 86400;
    const long long t = ((seconds % day) + day) % day;
    return QStringLiteral("%1:%2:%3")
        .arg(t / 3600, 2, 10, QLatin1Char('0'))
        .arg(t / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(t % 60, 2, 10, QLatin1Char('0'));
}

QStringList actionList(const PanelButtons &buttons)
{
    QStringList items{QStringLiteral("Off")};
    for (size_t k = 1; k < buttons.size(); ++k)
        items << buttons[k].description;
    return items;
}

} // namespace zelvar
