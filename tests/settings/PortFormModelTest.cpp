#include "settings/PortFormModel.h"
#include "settings/PortSettingsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "TestFiles.h"

using zelvar::testing::readFile;
using zelvar::testing::writeFile;

using namespace zelvar;

TEST(PortFormModel, ButtonsFollowChooseApplyTest)
{
    const PortFormButtons shown;
    EXPECT_EQ(shown, (PortFormButtons{true, false, true, false, false}));

    auto b = buttonsAfter(shown, PortFormStep::ItemChosen);
    EXPECT_EQ(b, (PortFormButtons{true, false, true, true, false}));
    b = buttonsAfter(b, PortFormStep::Applied);
    EXPECT_EQ(b, (PortFormButtons{true, false, true, false, true}));
    const auto failed = buttonsAfter(b, PortFormStep::TestFailed);
    EXPECT_EQ(failed, (PortFormButtons{true, false, true, false, false})) << "storing stays out of reach";
    b = buttonsAfter(b, PortFormStep::TestSucceeded);
    EXPECT_EQ(b, (PortFormButtons{true, true, true, false, false}));

    // Choosing again after a good test keeps storing open; a later failure leaves it alone.
    b = buttonsAfter(b, PortFormStep::ItemChosen);
    EXPECT_EQ(b, (PortFormButtons{true, true, true, true, false}));
    b = buttonsAfter(buttonsAfter(b, PortFormStep::Applied), PortFormStep::TestFailed);
    EXPECT_EQ(b, (PortFormButtons{true, true, true, false, false}));
}

TEST(PortFormModel, SpeedItemsAndTheNoChoiceItem)
{
    EXPECT_EQ(speedItems(), (QStringList{"0", "110", "300", "600", "1200", "2400", "4800", "9600", "14400",
                                         "19200", "38400", "56000", "57600", "115200", "128000"}));
    EXPECT_FALSE(speedForItem(0).has_value());
    EXPECT_EQ(speedForItem(1), QString("110"));
    EXPECT_EQ(speedForItem(9), QString("19200"));
    EXPECT_EQ(speedForItem(14), QString("128000"));
    EXPECT_FALSE(speedForItem(15).has_value());
    EXPECT_FALSE(speedForItem(-1).has_value());
}

TEST(PortFormModel, PortListOffersTheDevicesPresentAfterCom4)
{
    SerialDeviceInfo ttyS1{"/dev/ttyS1", {}, {}, "COM2"};
    SerialDeviceInfo ttyS5{"/dev/ttyS5", {}, {}, "COM6"};
    SerialDeviceInfo ftdi{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_A50-if00-port0",
                          "FTDI FT232R USB UART", "/dev/serial/by-id/usb-FTDI_FT232R_A50-if00-port0"};
    SerialDeviceInfo acm{"/dev/ttyACM0", {}, {}, "/dev/ttyACM0"};

    const QList<PortChoice> choices = portChoices({ttyS1, ttyS5, ftdi, acm});
    QStringList labels, names;
    for (const PortChoice &c : choices) {
        labels << c.label;
        names << c.portName;
    }
    EXPECT_EQ(labels, (QStringList{"aucun", "Com1", "Com2", "Com3", "Com4", "COM6",
                                   "/dev/serial/by-id/usb-FTDI_FT232R_A50-if00-port0 (FTDI FT232R USB UART)",
                                   "/dev/ttyACM0"}))
        << "COM2 is already in the list and is not offered twice";
    EXPECT_EQ(names, (QStringList{"", "COM1", "COM2", "COM3", "COM4", "COM6",
                                  "/dev/serial/by-id/usb-FTDI_FT232R_A50-if00-port0", "/dev/ttyACM0"}));
    EXPECT_EQ(choices.at(6).toolTip, "/dev/ttyUSB0");
}

TEST(PortFormModel, BothListsOfferTheKnownPathsAfterCom4)
{
    const SerialDeviceInfo ftdi{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI-if00-port0", "FTDI",
                                "/dev/serial/by-id/usb-FTDI-if00-port0"};
    auto names = [](const QList<PortChoice> &choices) {
        QStringList labels;
        for (const PortChoice &c : choices)
            labels << c.label + "=" + c.portName;
        return labels;
    };
    EXPECT_EQ(names(generalPortChoices({ftdi}, {"/dev/ttyUSB3"})),
              (QStringList{"=", "Com1=COM1", "Com2=COM2", "Com3=COM3", "Com4=COM4", "/dev/ttyUSB3=/dev/ttyUSB3",
                           "/dev/serial/by-id/usb-FTDI-if00-port0 (FTDI)=/dev/serial/by-id/usb-FTDI-if00-port0"}));
    // The name in force and the stored one, each once.
    EXPECT_EQ(names(portChoices({}, {"/dev/pts/4", "/dev/pts/9", "/dev/pts/4"})).mid(5),
              (QStringList{"/dev/pts/4=/dev/pts/4", "/dev/pts/9=/dev/pts/9"}));
    // A plain name, or a path a device present already stands for, is not offered twice.
    for (const QString &stored : {QString("COM2"), QString("/dev/ttyUSB0"), ftdi.portName})
        EXPECT_EQ(generalPortChoices({ftdi}, {stored, QString()}).size(), 6) << stored.toStdString();
}

TEST(PortFormModel, TypedPortNames)
{
    const struct
    {
        QString typed, name;
    } accepted[] = {
        {"com3", "COM3"},
        {" /dev/serial/by-id/usb-FTDI_FT232R-if00-port0 ", "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {QString::fromUtf8("/dev/caf\u00E9"), QString::fromUtf8("/dev/caf\u00E9")},
    };
    for (const auto &c : accepted) {
        const TypedPortName typed = portNameFromText(c.typed);
        EXPECT_EQ(typed.name, c.name) << c.typed.toStdString();
        EXPECT_TRUE(typed.error.isEmpty()) << typed.error.toStdString();
    }
    const QString refused[] = {"", "  ", "pas un port", "dev/ttyUSB0", "/dev/tty\nS0",
                               QString::fromUtf8("/dev/\u4E32"), "/" + QString(4095, u'a'), ".."};
    for (const QString &text : refused) {
        const TypedPortName typed = portNameFromText(text);
        EXPECT_TRUE(typed.name.isEmpty()) << text.left(40).toStdString();
        EXPECT_FALSE(typed.error.isEmpty()) << text.left(40).toStdString();
    }
}

TEST(PortSettingsFile, WritesOnlyTheTwoKeysInPlace)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Zelvar2.ini");
    // Windows-1252 ("\xB0" is the degree sign), CRLF, a line without "=", a key in another
    // spelling, and a section after the one written.
    writeFile(path, "; panel\r\n"
                   "[Reglages]\r\n"
                   "Nombre total de boutons=2\r\n"
                   "[REGLAGES DU COM]\r\n"
                   "N\xB0 du port =COM1\r\n"
                   "not a key\r\n"
                   "Vitesse du Port =9600\r\n"
                   "[Bouton 1]\r\n"
                   "Caption  btn1=\xC9t\xE9\r\n");

    const PortSettingsSaveResult r = savePortSettings(path, "COM3", "19200");
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(readFile(path), QByteArray("; panel\r\n"
                                        "[Reglages]\r\n"
                                        "Nombre total de boutons=2\r\n"
                                        "[REGLAGES DU COM]\r\n"
                                        "N\xB0 du port =COM3\r\n"
                                        "not a key\r\n"
                                        "Vitesse du Port =19200\r\n"
                                        "[Bouton 1]\r\n"
                                        "Caption  btn1=\xC9t\xE9\r\n"));
}

TEST(PortSettingsFile, CreatesAMissingFileAndAddsAMissingSection)
{
    QTemporaryDir dir;
    const QString fresh = dir.filePath("Zelvar2.ini");
    ASSERT_TRUE(savePortSettings(fresh, "/dev/serial/by-id/usb-x", "115200").ok);
    EXPECT_EQ(readFile(fresh), QByteArray("[Reglages du Com]\r\n"
                                         "n\xB0 du Port =/dev/serial/by-id/usb-x\r\n"
                                         "Vitesse du Port =115200\r\n"));

    const QString other = dir.filePath("other.ini");
    writeFile(other, "[Reglages]\r\nReduction dans la barre des taches=0\r\n");
    ASSERT_TRUE(savePortSettings(other, "COM2", "9600").ok);
    EXPECT_EQ(readFile(other), QByteArray("[Reglages]\r\nReduction dans la barre des taches=0\r\n"
                                         "\r\n"
                                         "[Reglages du Com]\r\n"
                                         "n\xB0 du Port =COM2\r\n"
                                         "Vitesse du Port =9600\r\n"));
}

TEST(PortSettingsFile, AFailureSaysWhyAndLosesNothing)
{
    QTemporaryDir dir;

    // A name the file's code page cannot hold would be stored as "?": refused.
    const QString path = dir.filePath("Zelvar2.ini");
    const QByteArray before = "[Reglages du Com]\r\nVitesse du Port =9600\r\n";
    writeFile(path, before);
    PortSettingsSaveResult r = savePortSettings(path, QString::fromUtf8("/dev/serial/by-id/usb-\u4E32"), "9600");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("rien n'a été enregistré")) << r.error.toStdString();
    EXPECT_EQ(readFile(path), before);

    // Something that exists but cannot be read as a file is not replaced by two keys.
    const QString unreadable = dir.filePath("dir.ini");
    ASSERT_TRUE(QDir(dir.path()).mkdir("dir.ini"));
    r = savePortSettings(unreadable, "COM1", "9600");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("ne peut pas être lu")) << r.error.toStdString();
    EXPECT_TRUE(QFileInfo(unreadable).isDir());

    // A folder that does not exist: the save fails with the reason.
    r = savePortSettings(dir.filePath("missing/Zelvar2.ini"), "COM1", "9600");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.startsWith("Les réglages du port n'ont pas pu être enregistrés")) << r.error.toStdString();
}
