#include "common/ProfileFile.h"
#include "common/SystemError.h"
#include "common/RegularFile.h"

#include <QDir>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <memory>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include "TestFiles.h"

using zelvar::testing::readFile;
using zelvar::testing::writeFile;

using zelvar::MaxReadFileBytes;
using zelvar::ProfileFile;
using zelvar::systemErrorText;
using zelvar::testing::FileSizeLimit;

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
// old enough not to belong to a save still running. Only names the writer makes are taken:
// whatever the user keeps beside the file, however it is named, stays.
TEST(ProfileFile, SaveRemovesItsOwnOldTemporariesAndNothingElse)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Zelvar2.ini");
    const QDateTime old = QDateTime::currentDateTime().addSecs(-11 * 60);
    const QStringList kept{"Zelvar2.ini.backup", "Zelvar2.ini.AbCdEf", "Zelvar2.ini.xYzwvu", ".Zelvar2.ini.zlv-AbC12",
                           ".Zelvar2.ini.zlv-AbC12.bak", ".Other.ini.zlv-AbCd12", "Zelvar2.ini.zlv-AbCd12"};
    for (const QString &name : kept + QStringList{".Zelvar2.ini.zlv-AbCd12", ".Zelvar2.ini.zlv-x9Y8z7"}) {
        writeFile(dir.filePath(name), "[s]\r\n");
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    writeFile(dir.filePath(".Zelvar2.ini.zlv-QwErTy"), "[young]\r\n");
    ASSERT_TRUE(QFile::link(dir.filePath("Zelvar2.ini.backup"), dir.filePath(".Zelvar2.ini.zlv-Link00")));

    ProfileFile p;
    p.writeString("s", "k", "v");
    ASSERT_TRUE(p.save(path).ok);
    QStringList expected = kept + QStringList{"Zelvar2.ini", ".Zelvar2.ini.zlv-QwErTy", ".Zelvar2.ini.zlv-Link00"};
    expected.sort();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name), expected);
}

// A name of 249 to 255 bytes leaves no room for a temporary named after it in full: it is
// saved again and again all the same, and keeps the permissions the user gave it.
TEST(ProfileFile, SaveOfALongNameKeepsWorkingAndKeepsPermissions)
{
    QTemporaryDir dir;
    for (int length : {249, 255}) {
        const QString name = QString(length - 4 - 18, u'a') + QString(9, u'é') + ".ini";
        ASSERT_EQ(QFile::encodeName(name).size(), length);
        const QString path = dir.filePath(name);
        for (int round = 0; round < 3; ++round) {
            ProfileFile p;
            p.writeInteger("s", "round", round);
            const auto saved = p.save(path);
            ASSERT_TRUE(saved.ok) << length << " " << saved.error.toStdString();
            if (round == 0) {
                ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                            | QFileDevice::ReadGroup));
            }
        }
        EXPECT_EQ(ProfileFile::load(path).readInteger("s", "round", -1), 2);
        EXPECT_EQ(QFileInfo(path).permissions() & 0x0777, QFileDevice::Permissions(0x0640));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary left";
}

// A full disk (here a file size limit) must never leave a short file in place and call the
// save a success: small files failed in the last buffered write, after every check passed.
TEST(ProfileFile, FailedSaveSaysWhyAndLeavesTheOldFileWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Zelvar2.ini");
    for (int keys : {3, 5000}) {
        writeFile(path, "[old]\r\nk=1\r\n");
        ProfileFile p;
        for (int i = 0; i < keys; ++i)
            p.writeString("s", QString("key%1").arg(i), QString(40, u'x'));
        ProfileFile::SaveResult result;
        {
            FileSizeLimit limit(64);
            result = p.save(path);
        }
        EXPECT_FALSE(result.ok) << keys;
        EXPECT_EQ(result.error, systemErrorText(EFBIG)) << result.error.toStdString();
        EXPECT_EQ(readFile(path), QByteArray("[old]\r\nk=1\r\n")) << keys;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Zelvar2.ini"});
    }
}

// What is not a plain file, or is larger than any file of the program, is refused at once
// and never read: a pipe with no writer once hung the program, /dev/zero filled the memory.
TEST(ProfileFile, ReadRefusesPipesDevicesAndHugeFilesAtOnce)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, dir.filePath("link.ini")));
    QFile huge(dir.filePath("huge.ini"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(MaxReadFileBytes + 1));
    huge.close();
    const QString other = QStringLiteral("ce n'est pas un fichier ordinaire");
    const std::pair<QString, QString> cases[] = {{fifo, other},
                                                 {dir.filePath("link.ini"), other},
                                                 {"/dev/zero", other},
                                                 {huge.fileName(), "fichier trop gros (plus de 16 Mo)"}};
    for (const auto &[path, reason] : cases) {
        bool exists = true;
        const ProfileFile p = ProfileFile::load(path, &exists);
        EXPECT_FALSE(exists);
        EXPECT_EQ(p.readError(), reason) << path.toStdString();
        EXPECT_FALSE(p.save(path).ok);
    }
}
