#include "common/ProfileFile.h"

#include <QDir>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include "TestFiles.h"

using zelvar::testing::readFile;
using zelvar::testing::writeFile;

using zelvar::ProfileFile;

TEST(ProfileFile, NamesMatchWithoutCaseButWithInnerBlanks)
{
    // "Ç" and "ç" are 0xC7 and 0xE7 in Windows-1252.
    const auto p = ProfileFile::fromBytes("[  REGLAGES ]\r\n"
                                          "  DEPLA\xC7" "ER la fenetre principale  =  1  \r\n"
                                          "Top  btn1=42\r\n");
    EXPECT_TRUE(p.readBool("reglages", QString::fromUtf8("Deplaçer la fenetre principale"), false));
    EXPECT_EQ(p.readInteger("Reglages", "top  BTN1", 0), 42);
    EXPECT_EQ(p.readInteger("Reglages", "Top btn1", 0), 0) << "a single blank names another key";
    EXPECT_EQ(p.readString("Reglages", "Top  btn1 ", "x"), "42") << "the trailing blank of a name is ignored";
    EXPECT_EQ(p.readString("Reglages", "Missing", "def"), "def");
    EXPECT_EQ(p.readString("Nowhere", "Top  btn1", "def"), "def");
}

TEST(ProfileFile, OneKeyNameInManySectionsAndInACopyThatOutlivesTheOriginal)
{
    auto original = std::make_unique<ProfileFile>(ProfileFile::fromBytes("[a]\r\nk=1\r\n[b]\r\nK=2\r\n"));
    ProfileFile copy = *original;
    original.reset();
    copy.writeString("B", " k", "3");
    copy.writeString("c", "k", "4");
    EXPECT_EQ(copy.readInteger("a", "k", 0), 1);
    EXPECT_EQ(copy.readInteger("b", "k", 0), 3);
    EXPECT_EQ(copy.readInteger("C", "K", 0), 4);
    EXPECT_EQ(copy.toBytes(), QByteArray("[a]\r\nk=1\r\n[b]\r\nK=3\r\n\r\n[c]\r\nk=4\r\n"));
}

TEST(ProfileFile, IntegersAndFlagsFallBackToTheDefault)
{
    const auto p = ProfileFile::fromBytes("[s]\nneg=-5\nsp= 7 \njunk=12abc\nempty=\nbig=2147483648\n"
                                          "min=-2147483648\nplus=+3\ntwo=2\nzero=0\nhex=0x10\n");
    EXPECT_EQ(p.readInteger("s", "neg", 1), -5);
    EXPECT_EQ(p.readInteger("s", "sp", 1), 7);
    EXPECT_EQ(p.readInteger("s", "junk", 1), 1);
    EXPECT_EQ(p.readInteger("s", "empty", 1), 1);
    EXPECT_EQ(p.readInteger("s", "big", 1), 1);
    EXPECT_EQ(p.readInteger("s", "min", 1), -2147483647 - 1);
    EXPECT_EQ(p.readInteger("s", "plus", 1), 1);
    EXPECT_EQ(p.readInteger("s", "hex", 1), 1);
    EXPECT_TRUE(p.readBool("s", "two", false));
    EXPECT_FALSE(p.readBool("s", "zero", true));
    EXPECT_TRUE(p.readBool("s", "junk", true));
}

TEST(ProfileFile, LineEndsAndTheFirstOfDuplicates)
{
    for (const QByteArray &bytes : {QByteArray("[a]\r\nk=1\r\n[a]\r\nk=2\r\nj=3"), QByteArray("[a]\nk=1\nk=9\n[a]\nk=2\nj=3\n")}) {
        const auto p = ProfileFile::fromBytes(bytes);
        EXPECT_EQ(p.readInteger("a", "k", 0), 1);
        EXPECT_EQ(p.readInteger("a", "j", 0), 0) << "only the first section of a name is read";
    }
}

TEST(ProfileFile, WritesSectionsWithCrlfAndBlankLinesBetween)
{
    ProfileFile p;
    p.writeString("One", "a", "1");
    p.writeInteger("Two", "b", -2);
    p.writeString("One", "c", " spaced ");
    p.writeBool("Two", "d", true);
    p.writeString("One", "A", "replaced");
    EXPECT_EQ(p.toBytes(), QByteArray("[One]\r\na=replaced\r\nc= spaced \r\n\r\n[Two]\r\nb=-2\r\nd=1\r\n"));
}

TEST(ProfileFile, ValueLineBreaksBecomeBlanks)
{
    ProfileFile p;
    p.writeString("s", "code", "0000 006D\r\n0001\n0000\r0010");
    EXPECT_EQ(p.toBytes(), QByteArray("[s]\r\ncode=0000 006D 0001 0000 0010\r\n"));
    EXPECT_EQ(ProfileFile::fromBytes(p.toBytes()).readString("s", "code", ""), "0000 006D 0001 0000 0010");
}

// A lone CR read from a file is a line break like the others: it reads as one blank, and a
// value read, written and read again stays the same (it once swallowed the next letter).
TEST(ProfileFile, LoneCarriageReturnInAValueReadsAsABlankAndStaysStable)
{
    const struct
    {
        QByteArray line;
        QString read;
    } cases[] = {{"k=\rMacro", "Macro"}, {"k=Mac\rro", "Mac ro"}, {"k=Mac\r\rro\r", "Mac  ro"}, {"k= a\r b", "a  b"}};
    for (const auto &c : cases) {
        const QString read = ProfileFile::fromBytes("[s]\r\n" + c.line + "\r\n").readString("s", "k", "");
        EXPECT_EQ(read, c.read) << c.line.toStdString();
        ProfileFile written;
        written.writeString("s", "k", read);
        const QByteArray once = written.toBytes();
        ProfileFile again;
        again.writeString("s", "k", ProfileFile::fromBytes(once).readString("s", "k", ""));
        EXPECT_EQ(again.toBytes(), once) << c.line.toStdString();
    }
}

TEST(ProfileFile, Windows1252RoundTripKeepsEveryByte)
{
    QByteArray value;
    for (int c = 0x21; c <= 0xFF; ++c)
        if (c != '=')
            value.append(char(c));
    const QByteArray file = "[s]\r\nk=" + value + "\r\n";
    const auto p = ProfileFile::fromBytes(file);
    bool lossy = true;
    EXPECT_EQ(p.toBytes(&lossy), file);
    EXPECT_FALSE(lossy);
    EXPECT_EQ(p.readString("s", "k", "").left(2), QString::fromUtf8("!\""));
    EXPECT_EQ(p.readString("s", "k", "").at(value.indexOf(char(0x80))), QChar(0x20AC)) << "0x80 is the euro sign";
}

TEST(ProfileFile, AByteOrderMarkReadsAsWithoutItAndStaysOnARewrite)
{
    const QByteArray file = "[pistes]\r\nNombre total de piste=2\r\n";
    const auto p = ProfileFile::fromBytes("\xEF\xBB\xBF" + file);
    const auto plain = ProfileFile::fromBytes(file);
    EXPECT_EQ(p.readInteger("pistes", "Nombre total de piste", 0), 2);
    ASSERT_EQ(p.sections().size(), 1u);
    EXPECT_EQ(p.sections()[0].name, plain.sections()[0].name);
    EXPECT_EQ(p.toBytes(), "\xEF\xBB\xBF" + file);
    EXPECT_EQ(plain.toBytes(), file);
}

TEST(ProfileFile, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    ProfileFile p;
    p.writeString("s", "k", QString::fromUtf8("caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80!"));
    bool lossy = false;
    EXPECT_EQ(p.toBytes(&lossy), QByteArray("[s]\r\nk=caf\xE9 ? ?!\r\n"));
    EXPECT_TRUE(lossy);
}

TEST(ProfileFile, EditingOneKeyKeepsEveryOtherLine)
{
    const QByteArray original = "; made by hand\r\n"
                                "[Reglages du Com]\r\n"
                                "N\xB0 DU PORT =COM4\r\n"
                                "odd line without equals\r\n"
                                "Vitesse du Port =9600\r\n"
                                "\r\n"
                                "[Other]\r\n"
                                "x = 1 \r\n";
    auto p = ProfileFile::fromBytes(original);
    p.writeString("Reglages du Com", QString::fromUtf8("n° du Port "), "/dev/ttyUSB0");
    p.writeString("Reglages du Com", "New", "v");
    p.writeString("Third", "k", "1");
    EXPECT_EQ(p.toBytes(), QByteArray("; made by hand\r\n"
                                      "[Reglages du Com]\r\n"
                                      "N\xB0 DU PORT =/dev/ttyUSB0\r\n"
                                      "odd line without equals\r\n"
                                      "Vitesse du Port =9600\r\n"
                                      "New=v\r\n"
                                      "\r\n"
                                      "[Other]\r\n"
                                      "x = 1 \r\n"
                                      "\r\n"
                                      "[Third]\r\n"
                                      "k=1\r\n"));
    const auto entries = ProfileFile::fromBytes(original).sections()[0].entries;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].line, 5);
}

TEST(ProfileFile, SaveReplacesTheFileAndAMissingFileReadsEmpty)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    bool exists = true;
    EXPECT_TRUE(ProfileFile::load(path, &exists).sections().empty());
    EXPECT_FALSE(exists);
    ProfileFile p;
    p.writeString("s", "k", "v");
    EXPECT_TRUE(p.save(path).ok);
    EXPECT_EQ(readFile(path), QByteArray("[s]\r\nk=v\r\n"));
    EXPECT_EQ(ProfileFile::load(path, &exists).readString("s", "k", ""), "v");
    EXPECT_TRUE(exists);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.ini"}) << "no temporary file left";
}

// A file that is there but cannot be read is not taken for a missing one, and nothing read
// from it may be saved over it. Root reads any file whatever its mode: a folder stands in.
TEST(ProfileFile, UnreadableFileIsReportedAndNeverSavedOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Zelvar2.ini");
    ASSERT_TRUE(QDir(dir.path()).mkdir("Zelvar2.ini"));
    bool exists = true;
    ProfileFile p = ProfileFile::load(path, &exists);
    EXPECT_FALSE(exists);
    EXPECT_TRUE(p.unreadable());
    EXPECT_EQ(p.readError(), QString::fromLocal8Bit(strerror(EISDIR)));
    p.writeString("Reglages du Com", "k", "v");
    const auto saved = p.save(dir.filePath("elsewhere.ini"));
    EXPECT_FALSE(saved.ok);
    EXPECT_TRUE(saved.error.contains(p.readError()));
    EXPECT_FALSE(QFile::exists(dir.filePath("elsewhere.ini")));
    EXPECT_FALSE(ProfileFile::load(dir.filePath("missing.ini")).unreadable());
}

// Temporaries of a save that was killed go at the next save of the same file, once they are
// old enough not to belong to a save still running; nothing else is touched.
TEST(ProfileFile, SaveRemovesOldTemporariesOfTheSameFileOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Zelvar2.ini");
    const QDateTime old = QDateTime::currentDateTime().addSecs(-11 * 60);
    const QStringList kept{"Zelvar2.ini.backup", "Zelvar2.ini.AbCdEf.bak", "Zelvar2.ini.20261207-101500.bak",
                           "Other.ini.AbCdEf", "Zelvar2.ini.AbC1Ef", "Zelvar2.ini.Before"};
    for (const QString &name : kept + QStringList{"Zelvar2.ini.AbCdEf", "Zelvar2.ini.xYzwvu"}) {
        writeFile(dir.filePath(name), "[s]\r\n");
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    writeFile(dir.filePath("Zelvar2.ini.QwErTy"), "[young]\r\n");

    ProfileFile p;
    p.writeString("s", "k", "v");
    ASSERT_TRUE(p.save(path).ok);
    QStringList expected = kept + QStringList{"Zelvar2.ini", "Zelvar2.ini.QwErTy"};
    expected.sort();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name), expected);
}

TEST(ProfileFile, FailedSaveLeavesTheOldFileWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Zelvar2.ini");
    writeFile(path, "[old]\r\nk=1\r\n");

    // A file size limit makes the write fail part of the way through, like a full disk.
    ProfileFile big;
    for (int i = 0; i < 5000; ++i)
        big.writeString("s", QString("key%1").arg(i), QString(40, u'x'));
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 4096;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const auto result = big.save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(readFile(path), QByteArray("[old]\r\nk=1\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"Zelvar2.ini"});
}
