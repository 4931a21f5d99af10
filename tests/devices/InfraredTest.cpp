#include "devices/Infrared.h"
#include "fake_uuirt/FakeUuirtLog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

using namespace zelvar;
using zelvar::testing::readFakeUuirtLog;

namespace {

const QByteArray kSmallCode = "0000 006D 0001 0001 0010 0020 0030 0040";

class Infrared : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_log = m_dir.filePath("calls.log");
        m_device = m_dir.filePath("lirc0");
        qputenv("ZELVAR_FAKE_UUIRT_LOG", QFile::encodeName(m_log));
    }

    void TearDown() override
    {
        qunsetenv("ZELVAR_FAKE_UUIRT_LOG");
        qunsetenv("ZELVAR_UUIRT_LIBRARY");
        qunsetenv("ZELVAR_LIRC_DEVICE");
        resetInfrared();
    }

    QString missingLibrary() const { return m_dir.filePath("no-such-driver.so"); }

    void createDevice() const
    {
        QFile file(m_device);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    std::vector<unsigned> deviceDurations() const
    {
        QFile file(m_device);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = file.readAll();
        std::vector<unsigned> values(static_cast<std::size_t>(bytes.size()) / sizeof(unsigned));
        if (!values.empty())
            std::memcpy(values.data(), bytes.constData(), values.size() * sizeof(unsigned));
        return values;
    }

    QTemporaryDir m_dir;
    QString m_log;
    QString m_device;
};

} // namespace

TEST_F(Infrared, EachTransmissionOpensAFreshHandleAndSendsTheTextUnchanged)
{
    resetInfrared(QStringLiteral(ZELVAR_FAKE_UUIRT));
    ASSERT_EQ(infraredBackend(), InfraredBackend::Uuirt);

    // The driver gets even what the kernel device would refuse: the default "0" and no text.
    const QByteArray codes[] = {kSmallCode, "0", ""};
    for (const QByteArray &code : codes)
        EXPECT_FALSE(transmitInfrared(code));

    const auto calls = readFakeUuirtLog(m_log);
    ASSERT_EQ(calls.size(), 6u);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto &open = calls[2 * i];
        const auto &transmit = calls[2 * i + 1];
        EXPECT_EQ(open.function, "UUIRTOpen");
        EXPECT_EQ(transmit.function, "UUIRTTransmitIR");
        EXPECT_EQ(transmit.handle, open.handle);
        EXPECT_FALSE(transmit.nullCode);
        EXPECT_EQ(transmit.code, codes[i]);
        EXPECT_EQ(transmit.codeFormat, 16);
        EXPECT_EQ(transmit.repeatCount, 10);
        EXPECT_EQ(transmit.inactivityWaitTime, 0);
        EXPECT_EQ(transmit.hEvent, 0u);
        EXPECT_EQ(transmit.reserved0, 0u);
        EXPECT_EQ(transmit.reserved1, 0u);
    }
    EXPECT_NE(calls[0].handle, calls[2].handle);
    EXPECT_NE(calls[2].handle, calls[4].handle);
}

TEST_F(Infrared, LibraryNamedByTheEnvironmentIsChosenOnceUntilReset)
{
    createDevice();
    qputenv("ZELVAR_UUIRT_LIBRARY", ZELVAR_FAKE_UUIRT);
    qputenv("ZELVAR_LIRC_DEVICE", QFile::encodeName(m_device));
    resetInfrared();
    transmitInfrared(kSmallCode);
    EXPECT_EQ(readFakeUuirtLog(m_log).size(), 2u);

    qputenv("ZELVAR_UUIRT_LIBRARY", QFile::encodeName(missingLibrary()));
    transmitInfrared(kSmallCode);
    EXPECT_EQ(readFakeUuirtLog(m_log).size(), 4u) << "the choice made at first use stands";
    EXPECT_TRUE(deviceDurations().empty());

    resetInfrared();
    EXPECT_EQ(infraredBackend(), InfraredBackend::Lirc);
}

TEST_F(Infrared, LibraryWithoutTheDriverFunctionsIsNotUsed)
{
    createDevice();
    resetInfrared(QStringLiteral("libm.so.6"), m_device);
    EXPECT_EQ(infraredBackend(), InfraredBackend::Lirc);
}

TEST_F(Infrared, WithoutLibraryTheDeviceReceivesTheDurations)
{
    createDevice();
    resetInfrared(missingLibrary(), m_device);
    ASSERT_EQ(infraredBackend(), InfraredBackend::Lirc);

    EXPECT_FALSE(transmitInfrared(kSmallCode));
    std::vector<unsigned> expected{421, 841};
    for (int i = 0; i < 10; ++i)
        expected.insert(expected.end(), {1262, 1683});
    expected.pop_back();
    EXPECT_EQ(deviceDurations(), expected);

    // A second transmission follows the first rather than overwriting it.
    transmitInfrared(kSmallCode);
    EXPECT_EQ(deviceDurations().size(), 2 * expected.size());
    EXPECT_TRUE(readFakeUuirtLog(m_log).empty());
}

TEST_F(Infrared, InvalidCodeSendsNothingToTheDeviceAndSaysWhy)
{
    createDevice();
    resetInfrared(missingLibrary(), m_device);
    for (const QByteArray &code : {QByteArray("0"), QByteArray(), QByteArray("0000 006D 0001")}) {
        const std::optional<QString> reason = transmitInfrared(code);
        ASSERT_TRUE(reason) << code.toStdString();
        EXPECT_FALSE(reason->isEmpty());
    }
    EXPECT_TRUE(deviceDurations().empty());
}

TEST_F(Infrared, LongCodesAreRefusedAtOnceByEitherTransmitter)
{
    // 1.7 s of silence after each of ten repeats, and a 63 Hz carrier.
    const QByteArray codes[] = {"0000 006D 0000 0001 0001 FFFF", "0000 FFFF 0000 0001 0001 0001"};
    createDevice();
    for (const QString &library : {QStringLiteral(ZELVAR_FAKE_UUIRT), missingLibrary()}) {
        resetInfrared(library, m_device);
        for (const QByteArray &code : codes) {
            QElapsedTimer clock;
            clock.start();
            const std::optional<QString> reason = transmitInfrared(code);
            EXPECT_LT(clock.elapsed(), 1000);
            ASSERT_TRUE(reason) << code.toStdString();
        }
    }
    EXPECT_TRUE(deviceDurations().empty());
    EXPECT_TRUE(readFakeUuirtLog(m_log).empty());
}

TEST_F(Infrared, AMissingOrUnusableTransmitterIsReported)
{
    const QString readOnly = m_dir.filePath("lirc-ro");
    QFile(readOnly).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
    const struct
    {
        QString device;
        bool skip;
    } cases[] = {
        {m_dir.filePath("no-lirc"), false},
        {m_dir.path(), false},    // a folder
        {readOnly, ::geteuid() == 0}, // root writes anyway
    };
    for (const auto &c : cases) {
        if (c.skip)
            continue;
        resetInfrared(missingLibrary(), c.device);
        const std::optional<QString> reason = transmitInfrared(kSmallCode);
        ASSERT_TRUE(reason) << c.device.toStdString();
        EXPECT_TRUE(reason->contains(c.device)) << reason->toStdString();
    }
    EXPECT_FALSE(QFile::exists(m_dir.filePath("no-lirc")));
    EXPECT_TRUE(readFakeUuirtLog(m_log).empty());
}
