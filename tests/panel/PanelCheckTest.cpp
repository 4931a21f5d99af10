#include "panel/PanelCheck.h"

#include <gtest/gtest.h>

using namespace zelvar;

namespace {

std::vector<PanelProblem> check(const char *text)
{
    QByteArray bytes(text);
    bytes.replace("\n", "\r\n");
    return checkPanelFile(ProfileFile::fromBytes(bytes));
}

} // namespace

TEST(PanelCheck, CleanFileHasNoProblem)
{
    EXPECT_TRUE(check("[Reglages]\nNombre total de boutons=1\nNombre total de Textes=0\n"
                      "[Bouton 1]\nMode btn1=1\nCode btn1=16\nRaccourci btn1=112\n_=\n")
                    .empty());
}

TEST(PanelCheck, FindsEachKindOfProblemWithItsLine)
{
    const auto problems = check("[Reglages]\n"                  // 1
                                "Nombre total de boutons=4\n"   // 2: three sections only
                                "Nombre total de Textes=0\n"    // 3
                                "Deplacer la fenetre principale=1\n" // 4: accent missing
                                "[Bouton 1]\n"                  // 5
                                "Mode btn1=9\n"                 // 6: unknown mode
                                "Raccourci btn1=65\n"           // 7
                                "[Bouton 2]\n"                  // 8
                                "Mode btn2=4\n"                 // 9
                                "Code btn2=17\n"                // 10: relay outside 1..16
                                "Top btn2=5\n"                  // 11: one blank too few
                                "[Bouton 3]\n"                  // 12
                                "Mode btn3=5\n"                 // 13: infrared, no relay needed
                                "Raccourci btn3=65\n");         // 14: same shortcut as button 1
    std::vector<int> lines;
    for (const auto &p : problems)
        lines.push_back(p.line);
    EXPECT_EQ(lines, (std::vector<int>{2, 4, 6, 10, 11, 14}));
    ASSERT_EQ(problems.size(), 6u);
    EXPECT_TRUE(problems[1].message.contains(QString::fromUtf8("Deplaçer la fenetre principale")));
    EXPECT_TRUE(problems[4].message.contains("Top  btn2"));
    EXPECT_TRUE(problems[5].message.contains("bouton 1"));
}

TEST(PanelCheck, RelayModeWithoutRelayKeyAndGappedTexts)
{
    const auto problems = check("[Reglages]\nNombre total de boutons=1\nNombre total de Textes=2\n"
                                "[Bouton 1]\nMode btn1=2\n"
                                "[Textes 1]\nTexte  1=a\n[Textes 3]\nTexte  3=c\n");
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].line, 3) << "texts 1 and 3 do not make a count of 2";
    EXPECT_EQ(problems[1].line, 5) << "mode 2 with relay 0";
}

TEST(PanelCheck, RepeatedKeysAndTextsOfAFileWithoutButtons)
{
    const auto problems = check("[Reglages]\n"                  // 1
                                "Nombre total de boutons=0\n"   // 2: the texts go unread
                                "Nombre total de Textes=1\n"    // 3
                                "nombre total de textes =2\n"   // 4: repeated, the first is read
                                "[Textes 1]\n"                  // 5
                                "Texte  1=a\n"                  // 6
                                "Left Txt1=10\n"                // 7
                                "Left Txt1=20\n");              // 8: repeated
    std::vector<int> lines;
    for (const auto &p : problems)
        lines.push_back(p.line);
    EXPECT_EQ(lines, (std::vector<int>{2, 4, 8}));
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_TRUE(problems[0].message.contains("aucun bouton")) << problems[0].message.toStdString();
    EXPECT_TRUE(problems[1].message.contains("ligne 3")) << problems[1].message.toStdString();
    EXPECT_TRUE(problems[2].message.contains("Left Txt1")) << problems[2].message.toStdString();
}
