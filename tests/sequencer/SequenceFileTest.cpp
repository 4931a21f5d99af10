#include "TestFiles.h"
#include "sequencer/Activities.h"
#include "sequencer/SequenceFile.h"

#include "common/SystemError.h"
#include "common/FileName.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zelvar;
using zelvar::testing::dataFile;
using zelvar::testing::readFile;
using zelvar::testing::writeFile;

namespace {

TPiste track(int code, std::vector<int> times)
{
    TPiste piste;
    piste.Code = code;
    for (int t : times)
        piste.Btns.push_back(t);
    return piste;
}

SequenceState fromBytes(const QByteArray &bytes, int panelButtons = 4)
{
    SequenceState state;
    readSequence(ProfileFile::fromBytes(bytes), state, panelButtons);
    return state;
}

QByteArray toBytes(const SequenceState &state)
{
    return writeSequence(state).toBytes();
}

} // namespace

TEST(SequenceFile, TwoTracksWrittenByteForByteAndReadBack)
{
    SequenceState state;
    state.AddPiste2() = track(0, {10, 70, 600});
    state.AddPiste2() = track(2, {});
    state.loopLeft = SequenceState::MargePiste + 300; // marker at 5 minutes
    state.CoefTaille = 3;
    const QByteArray expected = dataFile("sequence-two-tracks.ini");
    EXPECT_EQ(toBytes(state).toStdString(), expected.toStdString());

    const SequenceState back = fromBytes(expected, 2);
    ASSERT_EQ(back.trackCount(), 2);
    EXPECT_EQ(back.Pistes[1].Btns, (std::vector<int>{0, 10, 70, 600}));
    EXPECT_EQ(back.Pistes[1].Code, 0);
    EXPECT_EQ(back.Pistes[2].Code, 2);
    EXPECT_EQ(back.Pistes[2].btnCount(), 0);
    EXPECT_EQ(back.loopTime(), 300);
    EXPECT_EQ(back.rulerSeconds(), 1800);
    EXPECT_EQ(back.PisteEnCours, 2);
    EXPECT_EQ(toBytes(back).toStdString(), expected.toStdString());
}

TEST(SequenceFile, EmptiedAndNeverFilledListsKeepTheirCounts)
{
    SequenceState never;
    SequenceState emptied;
    emptied.AddPiste2();
    emptied.removePiste(1);
    SequenceState dropped;
    dropped.AddPiste2();
    dropped.AllDestroy(); // "Nouveau"
    const struct
    {
        const SequenceState &state;
        const char *line;
    } cases[] = {{never, "Nombre total de piste=-1\r\n"},
                 {emptied, "Nombre total de piste=0\r\n"},
                 {dropped, "Nombre total de piste=-1\r\n"}};
    for (const auto &c : cases) {
        const QByteArray bytes = toBytes(c.state);
        EXPECT_TRUE(bytes.contains(c.line)) << bytes.constData();
        EXPECT_EQ(fromBytes(bytes).trackCount(), 0);
        EXPECT_FALSE(bytes.contains("[piste1]"));
    }
}

TEST(SequenceFile, ReaderDefaultsAndRanges)
{
    struct Case
    {
        const char *name;
        QByteArray file;
        int tracks, zoom, loopLeft;
        std::vector<TPiste> expected; // tracks 1.. in order
    };
    const Case cases[] = {
        {"missing second track section", "[pistes]\nNombre total de piste=2\n[piste1]\nCode selectionne=1\n"
                                         "Nombre total de btns=1\nLeft du btn1=5\n",
         2, 1, 120, {track(1, {5}), track(0, {})}},
        {"zoom 0 and LF lines", "[pistes]\nNombre total de piste=0\ncurseur de taille=0\nBtn de boucle=200\n", 0, 1,
         200, {}},
        {"zoom 99, CRLF, keys in other letter case",
         "[PISTES]\r\nnombre total de piste=1\r\nCURSEUR DE TAILLE=99\r\n[Piste1]\r\nnombre total de btns=2\r\n"
         "left du btn2=7\r\n",
         1, 12, 120, {track(0, {0, 7})}},
        {"not integers read as defaults", "[pistes]\nNombre total de piste=1\nBtn de boucle=abc\n[piste1]\n"
                                          "Code selectionne=x\nNombre total de btns=1\nLeft du btn1=1.5\n",
         1, 1, 120, {track(0, {0})}},
        {"count below 1 loads nothing", "[pistes]\nNombre total de piste=-1\n[piste1]\nNombre total de btns=1\n", 0,
         1, 120, {}},
        {"Windows-1252 header ignored", "[          Info]\r\n_=\xe9t\xe9\r\n[pistes]\r\nNombre total de piste=1\r\n", 1,
         1, 120, {track(0, {})}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const SequenceState state = fromBytes(c.file);
        EXPECT_EQ(state.trackCount(), c.tracks);
        EXPECT_EQ(state.CoefTaille, c.zoom);
        EXPECT_EQ(state.loopLeft, c.loopLeft);
        for (int n = 1; n <= std::min<int>(state.trackCount(), int(c.expected.size())); ++n) {
            EXPECT_EQ(state.Pistes[size_t(n)].Code, c.expected[size_t(n - 1)].Code) << n;
            EXPECT_EQ(state.Pistes[size_t(n)].Btns, c.expected[size_t(n - 1)].Btns) << n;
        }
    }
}

TEST(SequenceFile, ActionBeyondThePanelIsKeptOnSave)
{
    const QByteArray file = "[pistes]\nNombre total de piste=2\n[piste1]\nCode selectionne=7\n"
                            "[piste2]\nCode selectionne=-3\n";
    SequenceState state = fromBytes(file, 3);
    EXPECT_EQ(state.Pistes[1].Code, -1);
    EXPECT_EQ(state.Pistes[2].Code, -1);
    const QByteArray saved = toBytes(state);
    EXPECT_TRUE(saved.contains("[piste1]\r\nNombre total de btns=0\r\nCode selectionne=7\r\n"));
    EXPECT_TRUE(saved.contains("[piste2]\r\nNombre total de btns=0\r\nCode selectionne=0\r\n"));
    EXPECT_EQ(fromBytes(saved, 7).Pistes[1].Code, 7); // the bigger panel selects it again
}

TEST(SequenceFile, MoreThanTheObjectLimitIsRefusedWhole)
{
    const struct
    {
        QByteArray counts;
        bool refused;
    } cases[] = {
        {"Nombre total de piste=1\n[piste1]\nNombre total de btns=99999\n", false}, // 100 000 objects
        {"Nombre total de piste=1\n[piste1]\nNombre total de btns=100000\n", true},
        {"Nombre total de piste=2000000000\n[piste1]\nNombre total de btns=2000000000\n", true},
        {"Nombre total de piste=100001\n", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.counts.constData());
        SequenceState state;
        state.AddPiste2() = track(3, {5});
        const SequenceRead read =
            readSequence(ProfileFile::fromBytes("[pistes]\nBtn de boucle=300\n" + c.counts), state, 4);
        EXPECT_EQ(!read.refused.isEmpty(), c.refused) << read.refused.toStdString();
        if (c.refused) {
            EXPECT_EQ(read.refused, QStringLiteral("La séquence compte plus de 100\u202f000 pistes et boutons : "
                                                   "elle n'est pas lue."));
            EXPECT_EQ(state.trackCount(), 1); // nothing read, not even the loop marker
            EXPECT_EQ(state.loopLeft, 120);
        } else {
            EXPECT_EQ(state.Pistes[2].btnCount(), 99999);
        }
    }
}

TEST(SequenceFile, SaveFailureIsReportedAndTheOldFileStays)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Sequenceur.ini");
    writeFile(path, "old");
    SequenceState state;
    for (int n = 0; n < 3; ++n)
        state.AddPiste2() = track(n, {60, 120});
    QString message;
    {
        zelvar::testing::FileSizeLimit fullDisk(64);
        EXPECT_FALSE(state.EnregistrerIni_Seq(path, &message));
    }
    EXPECT_EQ(message, "Erreur d'enregistrement dans le fichier ini\n" + path + " : " + systemErrorText(EFBIG));
    EXPECT_EQ(readFile(path), "old");
    const QString elsewhere = dir.filePath("missing/Sequenceur.ini");
    EXPECT_FALSE(state.EnregistrerIni_Seq(elsewhere, &message));
    EXPECT_EQ(message, "Erreur d'enregistrement dans le fichier ini\n" + elsewhere + " : " + systemErrorText(ENOENT));
    EXPECT_TRUE(state.EnregistrerIni_Seq(path, &message));
    EXPECT_TRUE(readFile(path).startsWith("[          Info]\r\n"));
}

TEST(Activities, ChooserListAndSelection)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("Activites");
    writeFile(dir.filePath("Activites/b.INI"), "[pistes]\nNombre total de piste=1\n[piste1]\nCode selectionne=1\n");
    writeFile(dir.filePath("Activites/a.ini"), "[pistes]\nNombre total de piste=-1\n");
    writeFile(dir.filePath("Activites/notes.txt"), "");
    // Copied from Windows: the name is Windows-1252, not UTF-8. Pipes are never listed.
    const QByteArray latin1 = QFile::encodeName(dir.filePath("Activites/")) + "Caf\xe9.ini";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "[pistes]\nNombre total de piste=3\n", 33), 33);
    ::close(fd);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("Activites/pipe.ini")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(dir.filePath("Activites/pipe.ini"), dir.filePath("Activites/lien.ini")));
    const QStringList items = Activities::DetectIni(dir.path());
    EXPECT_EQ(items, (QStringList{"Default", "a.ini", "b.INI", "Café.ini"}));

    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    SequenceState state;
    state.AddPiste2() = track(0, {3});
    state.AddPiste2();
    const struct
    {
        int index;
        const char *file;
        bool loaded;
        int tracks;
    } steps[] = {{1, "Sequenceur.ini", false, 2}, // refused: the current file stays
                 {3, "Activites/Caf\xe9.ini", true, 3},
                 {2, "Activites/b.INI", true, 1},
                 {0, "Activites/b.INI", false, 1}}; // missing file
    for (const auto &s : steps) {
        const Activities::SelectResult r = Activities::Combo_ActivitesSelect(state, s.index, items[s.index], 4);
        EXPECT_EQ(encodeFileName(state.FichierSeq), QByteArray(s.file));
        EXPECT_EQ(r.loaded, s.loaded);
        EXPECT_EQ(r.message, s.loaded ? QString() : QStringLiteral("Probleme avec le fichier ini"));
        EXPECT_EQ(state.trackCount(), s.tracks);
    }
    EXPECT_EQ(state.Pistes[1].Code, 1);
    EXPECT_EQ(Activities::itemForFile(items, "Activites/b.INI"), 2);
    EXPECT_EQ(Activities::itemForFile(items, "Sequenceur.ini"), 0);
    EXPECT_EQ(Activities::itemForFile(items, "/tmp/elsewhere.ini"), -1);
    // A pipe given by name is refused at once, with its reason.
    const auto refused = Activities::Combo_ActivitesSelect(state, 4, "lien.ini", 4);
    EXPECT_EQ(refused.message, "Probleme avec le fichier ini\nActivites/lien.ini : ce n'est pas un fichier ordinaire");
    QDir::setCurrent(cwd);
    ::unlink(latin1.constData()); // a name Qt cannot remove
}
